#pragma once

#include "browse/suggester.h"

#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class QLineEdit;

namespace kinolark::text {
class PinyinReader;
}

namespace kinolark::shell {

class SuggestionPopup;

// Suggestions while typing in the search box: a pause of 150 ms after the
// last key looks the text up, and the popup under the box lists what it
// found. Up and Down choose a row, Enter or a click opens the chosen title,
// Esc closes the list. While no row is chosen, Enter goes on to the search
// box as before.
//
// Where the catalogue's side tables are missing or behind, they are brought
// up to date in a worker thread; until then only names are matched.
class TitleSuggestions : public QObject
{
    Q_OBJECT
public:
    static constexpr int pauseMs = 150;
    using OpenTitle = std::function<void(qint64 id)>;

    TitleSuggestions(QLineEdit *searchBox, QWidget *window, OpenTitle openTitle);
    ~TitleSuggestions() override;

    // Starts suggesting from the catalogue file; the side tables are brought
    // up to date once the window's start is over. Without a reader, names
    // only.
    void open(const QString &catalogue, std::shared_ptr<const text::PinyinReader> pinyin);
    // Stops the worker, if it runs, and lets go of the file.
    void close();

    SuggestionPopup *popup() const { return m_popup; }
    browse::Suggester &suggester() { return m_suggester; }
    bool isBuilding() const { return m_builder != nullptr; }

signals:
    // The worker has finished, whether or not it got everything done.
    void buildFinished();
    // A pause in typing was looked up: `found` titles to suggest.
    void lookedUp(int found);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void lookUp();
    void hide();
    void openChosen(int row);
    void startBuilding();
    void stopBuilding();

    QLineEdit *m_box;
    SuggestionPopup *m_popup;
    OpenTitle m_openTitle;
    QTimer m_pause;
    browse::Suggester m_suggester;
    QString m_catalogue;
    std::shared_ptr<const text::PinyinReader> m_pinyin;
    QPointer<QThread> m_builder;
    std::atomic_bool m_cancel{false};
};

} // namespace kinolark::shell
