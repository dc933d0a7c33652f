#pragma once

#include <QObject>

namespace kinolark::site {

// Lets a user stop a long operation: whoever runs it watches the token, and
// a cancel button calls cancel().
class CancelToken : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    bool isCancelled() const { return m_cancelled; }
    void cancel();

signals:
    void cancelled();

private:
    bool m_cancelled = false;
};

} // namespace kinolark::site
