#pragma once

#include "shell/message_sink.h"

#include <QStringList>

// Records messages instead of showing a modal box.
class RecordingMessages : public kinolark::shell::MessageSink
{
public:
    void show(const QString &text) override { texts << text; }
    QStringList texts;
};
