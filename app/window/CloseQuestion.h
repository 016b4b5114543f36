#pragma once
// The question the window asks when it is closed while uploads run. It names
// where the upload furthest behind stands, in the status line's words, keeps
// to the uploads while it is up, and withdraws once none runs.
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QMessageBox;
class QWidget;

// "An upload is running (record 37 of 120; 2 scales). Close anyway?", empty
// when nothing runs; `indexes` holds each running upload's UploadIndex.
QString CloseQuestionText(const std::vector<std::int32_t>& indexes, std::int32_t rows);

class TCloseQuestion : public QObject {
    Q_OBJECT
public:
    // `text` is read when asked and at each Update; the box is parent's.
    TCloseQuestion(std::function<QString()> text, const QString& caption, QWidget* parent);

    // True to close: Yes, or every upload ended while it asked. No is the
    // default and Escape's.
    bool Ask();
    // Reads the text again: the question follows it, or withdraws when it is empty.
    void Update();

private:
    std::function<QString()> text_;
    QString caption_;
    QWidget* parent_;
    QPointer<QMessageBox> box_;
    bool withdrawn_ = false;
};
