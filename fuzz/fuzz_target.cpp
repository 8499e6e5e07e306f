// libFuzzer entry: each input goes through the per-image path of a run; a
// broken promise aborts, so the input is kept as a finding.
#include <QTemporaryDir>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "fuzz/picturepath.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Qt's decoders warn about every damaged file; millions of lines help no one.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        std::abort();
    }
    const QString fault = fuzz::RunPicturePath(data, size, folder.path());
    if (!fault.isEmpty()) {
        std::fprintf(stderr, "fault: %s\n", qPrintable(fault));
        std::abort();
    }
    return 0;
}
