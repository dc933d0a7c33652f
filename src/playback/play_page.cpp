#include "playback/play_page.h"

#include "build_config.h"
#include "playback/script_string.h"
#include "text/page_text.h"
#include "text/ansi_file.h"

#include <QStringList>

namespace kinolark::playback {

QString defaultPlayerScript()
{
    return QStringLiteral(KINOLARK_PLAYER_SCRIPT_URL);
}

QString defaultPlayerClient()
{
    return QStringLiteral(KINOLARK_PLAYER_CLIENT_URL);
}

QString playPageTemplate(const QString &site, const QString &playerScript, const QString &playerClient)
{
    const QString tab = QStringLiteral("\t");
    const QStringList lines = text::pageOpening() + QStringList{
        QStringLiteral("<script language=\"javascript\">"),
        tab + QStringLiteral("var strurl='") + site + QStringLiteral("/Uploads/loading.html';"),
        tab + QStringLiteral("var BdPlayer = new Array();"),
        tab + QStringLiteral("BdPlayer['time'] = 0;//缓冲广告展示时间(如果设为0,则根据缓冲进度自动控制广告展示时间)"),
        tab + QStringLiteral("BdPlayer['buffer'] = strurl;//贴片广告网页地址"),
        tab + QStringLiteral("BdPlayer['pause'] = strurl;//暂停广告网页地址"),
        tab + QStringLiteral("BdPlayer['end'] = strurl;//影片播放完成后加载的广告"),
        tab + QStringLiteral("BdPlayer['download'] = '") + playerClient + QStringLiteral("';//播放器下载地址"),
        tab + QStringLiteral("BdPlayer['width'] = 680;//播放器宽度(只能为数字)"),
        tab + QStringLiteral("BdPlayer['height'] = 445;//播放器高度(只能为数字)"),
        tab + QStringLiteral("BdPlayer['showclient'] = 0;//是否显示拉起拖盘按钮(1为显示 0为隐藏)"),
        tab + QStringLiteral("BdPlayer['url']='{playurl}';"),
        QString(),
        QStringLiteral("</script>"),
        QStringLiteral("<script language=\"javascript\" src=\"") + playerScript
            + QStringLiteral("\" charset=\"utf-8\"></script>"),
        QStringLiteral("</body>"),
        QStringLiteral("</html>"),
    };
    return text::crlfLines(lines);
}

QString playPageText(const QString &pageTemplate, const QString &address)
{
    return QString(pageTemplate).replace(QStringLiteral("{playurl}"), scriptStringContent(address));
}

bool writePlayPage(const QString &path, const QString &pageTemplate, const QString &address, QString *error)
{
    return text::writeAnsiFile(path, playPageText(pageTemplate, address), error);
}

} // namespace kinolark::playback
