// The save-error messages.
#include "batch/saveerror.h"

#include <QCoreApplication>

namespace basBatch {

QString SaveErrorText(ModuleJPEG::JpegResult result)
{
    using ModuleJPEG::JpegResult;
    switch (result) {
    case JpegResult::OutOfMemory: return QCoreApplication::translate("basMain", "メモリが足りません。");
    case JpegResult::DiskFull: return QCoreApplication::translate("basMain", "ディスク容量が足りません。");
    case JpegResult::PermissionDenied: return QCoreApplication::translate("basMain", "書き込み出来ません。");
    case JpegResult::DeviceUnavailable: return QCoreApplication::translate("basMain", "ディスクがセットされていません。");
    case JpegResult::BadFileName: return QCoreApplication::translate("basMain", "ファイル名が不正です。");
    case JpegResult::PictureTooLarge:
        return QCoreApplication::translate("basMain", "対象となる画像が大きすぎて、保存が出来ません。");
    case JpegResult::Unexpected: return QCoreApplication::translate("basMain", "予期しないエラーが発生しました。");
    case JpegResult::FolderInTheWay: return QCoreApplication::translate("basMain", "同じ名前のフォルダがあるため、保存が出来ません。");
    case JpegResult::OtherDevice:
        return QCoreApplication::translate("basMain", "書き込んだファイルを出力先フォルダに移せません。出力先フォルダが途中で別のドライブに変わりました。");
    case JpegResult::Ok: break;
    }
    return {};
}

}  // namespace basBatch
