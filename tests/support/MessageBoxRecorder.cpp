#include "MessageBoxRecorder.h"

#include "MessageBox.h"

MessageBoxRecorder::MessageBoxRecorder() : boxes_(std::make_shared<QList<RecordedBox>>())
{
    auto boxes = boxes_;
    SetMessageBoxHook([boxes](const QString& text, const QString& caption, int flags) {
        boxes->append({text, caption, flags});
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    SetMessageBoxHook({});
    SetMessageBoxAnswer(IDYES);
}

void MessageBoxRecorder::Answer(int answer)
{
    SetMessageBoxAnswer(answer);
}
