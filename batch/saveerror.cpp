// The save-error messages.
#include "batch/saveerror.h"

#include <QCoreApplication>

namespace batch {

QString SaveErrorText(jpeg::JpegResult result)
{
    using jpeg::JpegResult;
    switch (result) {
    case JpegResult::OutOfMemory: return QCoreApplication::translate("batch", "メモリが足りません。");
    case JpegResult::DiskFull: return QCoreApplication::translate("batch", "ディスク容量が足りません。");
    case JpegResult::PermissionDenied: return QCoreApplication::translate("batch", "書き込み出来ません。");
    case JpegResult::DeviceUnavailable: return QCoreApplication::translate("batch", "ディスクがセットされていません。");
    case JpegResult::BadFileName: return QCoreApplication::translate("batch", "ファイル名が不正です。");
    case JpegResult::PictureTooLarge:
        return QCoreApplication::translate("batch", "対象となる画像が大きすぎて、保存が出来ません。");
    case JpegResult::Unexpected: return QCoreApplication::translate("batch", "予期しないエラーが発生しました。");
    case JpegResult::FolderInTheWay: return QCoreApplication::translate("batch", "同じ名前のフォルダがあるため、保存が出来ません。");
    case JpegResult::OtherDevice:
        return QCoreApplication::translate("batch", "書き込んだファイルを出力先フォルダに移せません。出力先フォルダが途中で別のドライブに変わりました。");
    case JpegResult::Ok: break;
    }
    return {};
}

}  // namespace batch
