// Picture services (being built).
#include "shell/picture.h"

namespace basMain {

LoadedPicture LoadPicture(const QString&) { return {}; }
void SetPictureLoader(PictureLoader) {}
QImage StretchHalftone(const QImage& source, int, int) { return source; }
PictureBox::PictureBox() = default;
std::optional<PictureError> PictureBox::LoadFile(const QString&) { return std::nullopt; }
void PictureBox::SetPicture(QImage image) { image_ = std::move(image); }
double PictureBox::Width() const { return 0; }
double PictureBox::Height() const { return 0; }
std::optional<PictureError> PictureBox::StretchTo(int, int) { return std::nullopt; }
std::shared_ptr<const ModuleJPEG::Snapshot> PictureBox::Capture() { return nullptr; }

}  // namespace basMain
