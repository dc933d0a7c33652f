#include "shell/notice_page.h"

#include "text/page_text.h"

#include <QStringList>

namespace kinolark::shell {

QString noticePageTemplate(const QString &site)
{
    const QStringList lines = text::pageOpening() + QStringList{
        QStringLiteral("<div align=\"left\"><br><b>"),
        QStringLiteral("<font color=\"ffffff\" size=3>"),
        QStringLiteral("本软件播放电影，需要安装百度影音，如果您没有安装，请下载安装："),
        QStringLiteral("<a href=\"") + site + QStringLiteral("/url.php?Lx=Baidu\">百度影音下载地址</a>"),
        QStringLiteral("<br><br>如果您在播放电影时，弹出窗口播放，不在软件内播放。请卸载《百度影音浏览器》，"
                       "然后在点上面的链接，下载百度影音重新安装，就可以了！"),
        QStringLiteral("<br><br>如果您想全屏看电影，请《双击》电影播放器，就可以全屏播放了。如果想还原，"
                       "请在双击就可以了。"),
        QStringLiteral("<script type=\"text/javascript\" src=\"") + site
            + QStringLiteral("/Uploads/soft.js\"></script>"),
        QStringLiteral("</font>"),
        QStringLiteral("</b>"),
        QStringLiteral("</div>"),
        QStringLiteral("<object classid=\"clsid:02E2D748-67F8-48B4-8AB4-0A085374BB99\" width=\"1\" "
                       "height=\"1\" id=\"BaiduPlayer\" name=\"BaiduPlayer\" "
                       "onError=alert('提示：您的电脑没有安装《百度影音》，本软件看电影需要安装《百度影音》，"
                       "否则不能播放电影。')>"),
        QStringLiteral("<PARAM NAME='Autoplay' VALUE='0'> "),
        QStringLiteral("</object>"),
        QStringLiteral("</body>"),
        QStringLiteral("</html>"),
    };
    return text::crlfLines(lines);
}

} // namespace kinolark::shell
