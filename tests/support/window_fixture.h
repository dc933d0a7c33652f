#pragma once

#include "recording_browser.h"
#include "recording_messages.h"
#include "shell/main_window.h"
#include "store/catalogue.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

// A window in a fresh application folder, with recording browsers and
// messages, a fixed date, and a site nobody listens on unless a test says so.
struct WindowFixture
{
    explicit WindowFixture(const QString &site = QStringLiteral("http://127.0.0.1:9"))
    {
        services.appFolder = folder.path();
        services.site = site;
        services.network = &network;
        services.makeBrowser = recordingBrowsers(&navigations);
        services.messages = &messages;
        services.today = [this] { return today; };
        services.requestTimeoutMs = 5000;
        services.findRenderers = false; // no SSDP on the machine's own networks
        services.downloadsFolder = folder.filePath(QStringLiteral("downloads"));
        services.desktopBus = QStringLiteral("none");
    }

    kinolark::shell::frmMain &make()
    {
        window = std::make_unique<kinolark::shell::frmMain>(services);
        return *window;
    }

    struct Row
    {
        qint64 id;
        qint64 cid;
        QString name;
        QString letter;
    };

    // A catalogue in the folder, synced today, holding `rows`; start-up then
    // sends no request.
    void prepareCatalogue(const QList<Row> &rows)
    {
        kinolark::store::Catalogue catalogue;
        QVERIFY(catalogue.open(file(QStringLiteral("data.db"))) != kinolark::store::Catalogue::OpenResult::NotACatalogue);
        QSqlQuery query(catalogue.database());
        query.prepare(QStringLiteral("update cdate set up_date=?"));
        query.addBindValue(today);
        QVERIFY(query.exec());
        query.prepare(QStringLiteral("insert into vod (vod_id,vod_cid,vod_name,vod_letter) values (?,?,?,?)"));
        for (const Row &row : rows) {
            query.addBindValue(row.id);
            query.addBindValue(row.cid);
            query.addBindValue(row.name);
            query.addBindValue(row.letter);
            QVERIFY(query.exec());
        }
    }

    // The window made, loaded and shown.
    kinolark::shell::frmMain &load()
    {
        kinolark::shell::frmMain &w = make();
        if (!w.Form_Load())
            qWarning("Form_Load failed");
        w.show();
        if (!QTest::qWaitForWindowExposed(&w))
            qWarning("window not exposed");
        return w;
    }

    // The node of the category tree with `key`.
    QTreeWidgetItem *node(const QString &key) const
    {
        for (QTreeWidgetItemIterator it(window->TreeView1); *it; ++it) {
            if ((*it)->data(0, Qt::UserRole).toString() == key)
                return *it;
        }
        return nullptr;
    }

    // A mouse click on the node with `key`, opening its group first.
    void clickNode(const QString &key)
    {
        QTreeWidgetItem *item = node(key);
        QVERIFY2(item, qPrintable(key));
        for (QTreeWidgetItem *p = item->parent(); p; p = p->parent())
            p->setExpanded(true);
        window->TreeView1->scrollToItem(item);
        const QRect rect = window->TreeView1->visualItemRect(item);
        QVERIFY(!rect.isEmpty());
        QTest::mouseClick(window->TreeView1->viewport(), Qt::LeftButton, {}, rect.center());
    }

    QString file(const QString &name) const { return folder.filePath(name); }
    RecordingBrowser *browser1() const { return static_cast<RecordingBrowser *>(window->WebBrowser1); }
    RecordingBrowser *browser2() const { return static_cast<RecordingBrowser *>(window->WebBrowser2); }

    QTemporaryDir folder;
    QNetworkAccessManager network;
    RecordingBrowser::Log navigations;
    RecordingMessages messages;
    QString today = QStringLiteral("2026/12/7");
    kinolark::shell::Services services;
    std::unique_ptr<kinolark::shell::frmMain> window;
};
