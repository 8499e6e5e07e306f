// The words for a save that failed, shared by the window's message boxes and
// zembrik-batch's error lines.
#pragma once

#include <QString>

#include "jpeg/jpeg.h"

namespace batch {

// The message for a failing save result; empty for success and unknown values.
QString SaveErrorText(jpeg::JpegResult result);

}  // namespace batch
