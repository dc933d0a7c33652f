// Step of the start-up: the daily catalogue sync and the version check.

#include "shell/browser.h"
#include "shell/main_window.h"
#include "shell/site_failure_text.h"
#include "site/catalogue_sync.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QTimer>

namespace kinolark::shell {

namespace {

// A sync that ends sooner goes by without a dialog flashing up.
constexpr int progressDelayMs = 1000;

} // namespace

void frmMain::synchroniseCatalogue()
{
    if (!m_services.network)
        return;
    site::CatalogueSync sync(conn, *m_services.network, strEndpoint, m_services.today);
    if (!sync.isDue())
        return;
    site::HttpOptions options;
    options.timeoutMs = m_services.requestTimeoutMs;
    options.deadlineMs = m_services.catalogueDeadlineMs;
    sync.setRequestOptions(options);
    sync.setPinyinReader(m_services.pinyin.get());

    site::SyncOutcome outcome;
    {
        // Two lines from the start: a dialog that grew when the answer began
        // to arrive moved its button away from under the pointer.
        QProgressDialog progress(QStringLiteral("正在更新影片目录…\n正在等待网站回应…"), QStringLiteral("取消"), 0, 0, this);
        progress.setObjectName(QStringLiteral("syncProgress"));
        progress.setWindowTitle(QStringLiteral("更新影片目录"));
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setMinimumDuration(progressDelayMs);
        progress.setMinimumWidth(360);
        QTimer::singleShot(progressDelayMs, &progress, [&progress] {
            if (!progress.wasCanceled())
                progress.show();
        });
        QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&sync] { sync.cancel(); });

        sync.setProgress([&progress](site::CatalogueSync::Stage stage, qint64 done, qint64 total) {
            if (stage == site::CatalogueSync::Stage::Downloading) {
                progress.setLabelText(QStringLiteral("正在更新影片目录…\n已下载 %1 KB").arg(done / 1024));
                if (total > 0) {
                    progress.setRange(0, 1000);
                    progress.setValue(int(qMin<qint64>(done, total) * 1000 / total));
                } else {
                    progress.setRange(0, 0);
                }
                return; // the request's wait keeps the dialog alive
            }
            progress.setLabelText(QStringLiteral("正在更新影片目录…\n正在保存 %1 / %2 部影片").arg(done).arg(total));
            progress.setRange(0, int(total));
            progress.setValue(int(done));
            // Storing runs without an event loop of its own: let the dialog
            // appear, paint and take a click on its cancel button.
            QCoreApplication::processEvents();
        });
        outcome = sync.run();
    }

    switch (outcome.result) {
    case site::SyncOutcome::Result::Skipped:
    case site::SyncOutcome::Result::Cancelled:
        return;
    case site::SyncOutcome::Result::SiteFailed:
        qWarning("catalogue sync: %s", qPrintable(outcome.error));
        message(QStringLiteral("影片目录更新失败：") + siteFailureText(outcome.errorStatus)
                + QStringLiteral("。下次启动时将再次更新。"));
        return;
    case site::SyncOutcome::Result::StoreFailed:
        qWarning("catalogue sync: %s", qPrintable(outcome.error));
        message(QStringLiteral("影片目录更新失败：无法写入影片数据库。下次启动时将再次更新。"));
        return;
    case site::SyncOutcome::Result::Synced:
        break;
    }
    if (outcome.cancelledAfterCommit) {
        // Too late to take back: the user must not believe it undone.
        message(QStringLiteral("影片目录已更新，新增 %1 部影片。取消时更新已经保存完毕。").arg(outcome.inserted));
        return;
    }
    if (outcome.newerClient) {
        message(QStringLiteral("提示：软件有更新，请下载最新版本！"));
        WebBrowser1->navigate(m_services.site + QStringLiteral("/kinol_soft.html"));
    }
}

} // namespace kinolark::shell
