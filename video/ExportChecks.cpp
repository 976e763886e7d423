#include "video/ExportChecks.h"

#include "video/VideoCodecs.h"

namespace video {

QString exportCheckFailure(const ExportRequest& request)
{
    const QString huffyuv =
        QString::fromLatin1(HUFFYUV_ITEM.data(), qsizetype(HUFFYUV_ITEM.size()));
    const QString flash = QString::fromLatin1(FLASH_ITEM.data(), qsizetype(FLASH_ITEM.size()));
    const QString& name = request.fileName;
    if (name.isEmpty())
        return "No filename given!";
    if (request.codecItem == huffyuv && name.endsWith(".wmv", Qt::CaseSensitive))
        return "\"Windows Media Video (wmv)\" file format is incompatible to \"Huff YUV\" video "
               "codec!";
    if ((request.codecItem == huffyuv || request.codecItem == flash) &&
        name.endsWith(".mov", Qt::CaseSensitive))
        return "\"QuickTime (mov)\" file format is incompatible to \"Huff YUV\" and \"FLV\" video "
               "codec!";
    if (request.codecItem != flash && name.endsWith(".flv", Qt::CaseSensitive))
        return "\"Flash Vid (flv)\" file format requires \"FLV\" video codec!";
    if (request.start < request.firstTime)
        return "Start time set to low!\nNo Data available for this time stamp";
    if (request.end > request.lastTime)
        return "Stop time set to high!\nNo Data available for this time stamp";
    if (request.start > request.end)
        return "Start time stamp after end time stamp!";
    return {};
}

} // namespace video
