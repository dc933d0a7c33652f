#pragma once

#include "shell/message_sink.h"

#include <QStringList>

// Records messages and questions instead of showing modal boxes.
class RecordingMessages : public kinolark::shell::MessageSink
{
public:
    void show(const QString &text) override { texts << text; }
    bool confirm(const QString &text, const QString &) override
    {
        questions << text;
        return answer;
    }
    QStringList texts;
    QStringList questions;
    bool answer = true; // what every question is answered

};
