#include "shell/title_suggestions.h"

#include "shell/suggestion_popup.h"
#include "store/title_index.h"
#include "store/title_index_builder.h"
#include "text/pinyin_reader.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QThread>

namespace kinolark::shell {

TitleSuggestions::TitleSuggestions(QLineEdit *searchBox, QWidget *window, OpenTitle openTitle)
    : QObject(window)
    , m_box(searchBox)
    , m_popup(new SuggestionPopup(window))
    , m_openTitle(std::move(openTitle))
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(pauseMs);
    connect(&m_pause, &QTimer::timeout, this, &TitleSuggestions::lookUp);
    connect(m_box, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (text.trimmed().isEmpty())
            hide();
        else
            m_pause.start();
    });
    connect(m_popup, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { openChosen(m_popup->indexOfTopLevelItem(item)); });
    m_box->installEventFilter(this);
}

TitleSuggestions::~TitleSuggestions()
{
    // Gone with the window, whose widgets are going too: none is touched.
    stopBuilding();
    m_suggester.close();
}

void TitleSuggestions::open(const QString &catalogue, std::shared_ptr<const text::PinyinReader> pinyin)
{
    close();
    m_catalogue = catalogue;
    m_pinyin = std::move(pinyin);
    const QByteArray version =
        m_pinyin ? store::TitleIndex::pinyinVersion(m_pinyin->sourceTag()) : QByteArray();
    if (!m_suggester.open(catalogue, version))
        return;
    const bool namesBehind = store::TitleIndex::ftsAvailable() && !m_suggester.namesIndexed();
    if (m_pinyin && (!m_suggester.pinyinReady() || namesBehind))
        QTimer::singleShot(0, this, &TitleSuggestions::startBuilding);
}

void TitleSuggestions::close()
{
    hide();
    stopBuilding();
    m_suggester.close();
}

void TitleSuggestions::stopBuilding()
{
    if (m_builder) {
        m_cancel = true;
        m_builder->wait();
        delete m_builder;
    }
}

void TitleSuggestions::startBuilding()
{
    if (m_builder || !m_suggester.isOpen())
        return;
    m_cancel = false;
    m_builder = QThread::create([this, path = m_catalogue, pinyin = m_pinyin] {
        const store::TitleIndexBuilder::Result result = store::TitleIndexBuilder(path, pinyin).run(&m_cancel);
        if (!result.ok && !result.cancelled)
            qWarning("title index: %s", qPrintable(result.error));
    });
    m_builder->setObjectName(QStringLiteral("title index"));
    connect(m_builder, &QThread::finished, this, [this] {
        if (m_builder)
            m_builder->deleteLater();
        m_builder = nullptr;
        m_suggester.refresh();
        emit buildFinished();
    });
    m_builder->start(QThread::LowPriority);
}

void TitleSuggestions::lookUp()
{
    if (!m_box->hasFocus()) {
        hide();
        return;
    }
    const QVector<browse::Suggestion> found = m_suggester.suggest(m_box->text());
    if (found.isEmpty()) {
        hide();
    } else {
        m_popup->setSuggestions(found);
        m_popup->showBelow(m_box);
    }
    emit lookedUp(int(found.size()));
}

void TitleSuggestions::hide()
{
    m_pause.stop();
    m_popup->hide();
}

void TitleSuggestions::openChosen(int row)
{
    const qint64 id = m_popup->idAt(row);
    hide();
    if (id >= 0 && m_openTitle)
        m_openTitle(id);
}

bool TitleSuggestions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_box)
        return false;
    if (event->type() == QEvent::FocusOut) {
        hide();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool shown = m_popup->isVisible();
    switch (key->key()) {
    case Qt::Key_Down:
        if (shown)
            m_popup->choose(qMin(m_popup->chosenRow() + 1, m_popup->rowCount() - 1));
        return shown;
    case Qt::Key_Up:
        if (shown)
            m_popup->choose(m_popup->chosenRow() - 1);
        return shown;
    case Qt::Key_Escape:
        hide();
        return shown;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (shown && m_popup->chosenRow() >= 0) {
            openChosen(m_popup->chosenRow());
            return true;
        }
        // The search box searches, as it always has.
        hide();
        return false;
    default:
        return false;
    }
}

} // namespace kinolark::shell
