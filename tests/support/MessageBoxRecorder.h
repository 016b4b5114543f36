#pragma once
// The message box recorder of the window tests: apart from TestSupport, since
// message boxes are widgets and most tests have none.
#include <QList>
#include <QString>

#include <memory>

struct RecordedBox {
    QString text;
    QString caption;
    int flags;
};

// Records every MessageBox instead of showing it, while it lives.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    const QList<RecordedBox>& Boxes() const { return *boxes_; }
    int Count() const { return static_cast<int>(boxes_->size()); }
    void Clear() { boxes_->clear(); }
    // What a question is answered from now on (IDYES, IDNO).
    void Answer(int answer);

private:
    std::shared_ptr<QList<RecordedBox>> boxes_;
};
