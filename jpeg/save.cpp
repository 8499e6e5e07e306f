// (being built)
#include "jpeg/jpeg.h"
namespace ModuleJPEG {
MemorySurface::MemorySurface(std::int32_t width, std::int32_t height, std::vector<std::uint32_t> pixels)
    : pixels_(std::make_shared<std::vector<std::uint32_t>>(std::move(pixels))), width_(width), height_(height) {}
std::shared_ptr<const Snapshot> MemorySurface::Capture() { return nullptr; }
JpegResult SaveJpeg(const std::filesystem::path&, std::int32_t&, const std::string&, PictureSurface&, const YieldHook&) { return JpegResult::Unexpected; }
JpegResult EncodeJpeg(const PixelRows&, ByteSink&, const YieldHook&) { return JpegResult::Unexpected; }
JpegResult EncodeJpegToMemory(const PixelRows&, std::vector<std::uint8_t>&) { return JpegResult::Unexpected; }
}
