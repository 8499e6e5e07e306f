#!/usr/bin/python3
"""Shrinks JPEGs to fit a box with Pillow, to time zembrik-batch --max-size
against: thumbnail with the box filter, which decodes a JPEG at the smallest
DCT scale (draft) that leaves twice the box, as zembrik does; saved at quality
50 (zembrik's default tables) into OUTDIR, in PROCESSES processes. With
--draft-to-box the decode goes down to the box itself instead: faster, but
its reduction averages over fewer decoded pixels. Debian's python3-pil.

    pillow_box.py [--draft-to-box] OUTDIR WxH PROCESSES FILE...
"""
import os
import sys
from multiprocessing import Pool

from PIL import Image


def shrink(job):
    path, outdir, box, draft_to_box = job
    with Image.open(path) as im:
        if draft_to_box:
            im.draft("RGB", box)
        im.thumbnail(box, Image.BOX)
        im.save(os.path.join(outdir, os.path.basename(path)), quality=50)


def main():
    args = sys.argv[1:]
    draft_to_box = args[:1] == ["--draft-to-box"]
    if draft_to_box:
        args = args[1:]
    outdir, box, processes, files = args[0], args[1], int(args[2]), args[3:]
    box = tuple(int(side) for side in box.split("x"))
    with Pool(processes) as pool:
        for _ in pool.imap_unordered(shrink, [(f, outdir, box, draft_to_box) for f in files]):
            pass


if __name__ == "__main__":
    main()
