// The upload's reply processing: received text in pieces of any size and
// content, ticks, restarts, stops and the link lost and back in any order. A model of the exchange
// checks every command the upload sends against what it may send then.
#include "ProcessData.h"

#include <QCoreApplication>
#include <QList>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_reply: %s\n", what);
    std::abort();
}

QByteArray Trim(QByteArray text)
{
    while (!text.isEmpty() && static_cast<unsigned char>(text.front()) <= 32)
        text.remove(0, 1);
    while (!text.isEmpty() && static_cast<unsigned char>(text.back()) <= 32)
        text.chop(1);
    return text;
}

// What the exchange may do next, from the commands sent and the replies given.
struct Model {
    enum Kind { None, StartCmd, RecordCmd, EndCmd };

    QList<QByteArray> rows;
    int position = 0;

    bool running = false;
    bool inStart = false;
    bool awaiting = false;      // the last command has not had its matching reply
    bool matched = false;       // since the last command: a reply matched it
    bool refused = false;       // ... and one did not
    bool overflow = false;      // the line being received went past the bound
    Kind kind = None;
    int current = -1;           // the record last sent
    int next = 0;               // the record the next tick may send
    bool emptyRecord = false;   // the upload ended early at an empty record
    bool endAnswered = false;
    int finished = 0;           // Finished calls since the last Start
    int sentInStart = 0;
    QByteArray buffer;          // received text after the last LF
    QByteArray lastSent;
    bool held = false;          // the link is down
    bool quiet = false;         // from a loss until a command goes out on the new link
    bool resendDue = false;     // the command awaited at the loss goes again, as it went
    bool resumed = false;       // the first command on the new link has had no reply yet
    bool startOver = false;     // the scale refused that command: the start command is due
    bool startedOver = false;
    int lineEnds = 0;           // line ends sent on links brought back

    QByteArray Expected() const
    {
        switch (kind) {
        case StartCmd: return StartReply(position);
        case RecordCmd: return QByteArrayLiteral("Mr");
        case EndCmd: return QByteArrayLiteral("Me");
        case None: break;
        }
        return {};
    }

    void Sent(const QByteArray& command)
    {
        if (!running)
            Fail("a command went out while no upload runs");
        if (held)
            Fail("a command went out while the link was down");
        const bool disagreed = matched && refused;
        const QByteArray before = std::exchange(lastSent, command);
        matched = refused = quiet = false;
        if (inStart) {
            if (++sentInStart != 1 || command != StartCommand(position))
                Fail("Start sent something other than its one start command");
            kind = StartCmd;
            awaiting = true;
            return;
        }
        if (startOver && awaiting) {
            if (command != StartCommand(position))
                Fail("the scale lost the upload, but the start command did not go out");
            startOver = resendDue = false;
            startedOver = true;
            emptyRecord = false;
            kind = StartCmd;
            return;
        }
        if (std::exchange(resendDue, false) && awaiting) {
            if (command != before)
                Fail("the command awaited at the loss did not go again as it went");
            return;
        }
        const bool answered = !awaiting && (kind == StartCmd || kind == RecordCmd);
        if (command.startsWith("Sr")) {
            const QByteArray record = command.mid(2);
            if (awaiting) {
                // Only the record still waiting may go out again.
                if (kind == StartCmd || kind == EndCmd)
                    Fail("a record went out while the start or end command was outstanding");
                if (kind != RecordCmd || record != rows.value(current))
                    Fail("a second command went out while one was outstanding");
                return;
            }
            if (!answered || next >= rows.size())
                Fail("a record went out that was not due");
            if (record != rows[next])
                Fail("records out of order, or one skipped");
            if (record.isEmpty())
                Fail("an empty record went out");
            current = next;
            kind = RecordCmd;
            awaiting = true;
        } else if (awaiting && disagreed && (kind == StartCmd || kind == EndCmd)) {
            // The scale answered the start or end command both ways: it goes again.
            if (command != before)
                Fail("a start or end command answered both ways was not the one sent again");
        } else if (command == "Se") {
            if (awaiting)
                Fail("the end command went out while a command was outstanding");
            if (!answered || next > rows.size())
                Fail("the end command went out too early");
            if (next < rows.size()) {
                if (!rows[next].isEmpty())
                    Fail("the end command went out before the last record");
                emptyRecord = true;
            }
            kind = EndCmd;
            awaiting = true;
        } else {
            Fail("an unknown command went out");
        }
    }

    void Received(const QByteArray& text)
    {
        buffer += text;
        qsizetype lf;
        while ((lf = buffer.indexOf('\n')) >= 0) {
            const bool tooLong = overflow || lf > TUpload::ReplyBound;
            Reply(tooLong ? QByteArray() : Trim(buffer.left(lf + 1)), tooLong);
            buffer.remove(0, lf + 1);
            overflow = false;
        }
        if (buffer.size() > TUpload::ReplyBound) {
            buffer.clear();
            overflow = true;
        }
    }

    void Reply(const QByteArray& reply, bool tooLong)
    {
        if (!running || kind == None || quiet)
            return;
        const bool matches = !tooLong && reply == Expected();
        (matches ? matched : refused) = true;
        if (matched && refused) {
            // Answered both ways: the command is outstanding again.
            if (!awaiting)
                endAnswered = false;
            awaiting = true;
            return;
        }
        if (!awaiting)
            return;
        if (resumed && !matches && !startedOver)
            startOver = true;
        resumed = false;
        if (!matches)
            return;
        awaiting = false;
        if (kind == StartCmd)
            next = 0;
        else if (kind == RecordCmd)
            next = current + 1;
        else
            endAnswered = true;
    }

    void Finished(bool failed)
    {
        if (!running || !endAnswered)
            Fail("Finished before the end reply");
        if (++finished > 1)
            Fail("Finished twice for one Start");
        if (failed != emptyRecord)
            Fail("Finished reports the wrong outcome");
        running = false;
    }

    void Started()
    {
        running = true;
        awaiting = false;
        kind = None;
        current = -1;
        next = 0;
        emptyRecord = false;
        endAnswered = false;
        finished = 0;
        sentInStart = 0;
        matched = refused = overflow = false;
        held = quiet = resendDue = resumed = startOver = startedOver = false;
        buffer.clear();
    }

    void Held()
    {
        if (running)
            held = quiet = true;
    }

    // True when the link comes back to a held upload, which then owes it one line end.
    bool Resumed()
    {
        if (!running || !held)
            return false;
        held = false;
        buffer.clear();
        overflow = false;
        resumed = !(awaiting && kind == StartCmd);
        resendDue = awaiting;
        return true;
    }
};

const char* const Replies[] = {"MbP", "MbU", "MbS", "Mr", "Me", "mr", "Mr x", "", "Mr\nMr"};
const char* const Endings[] = {"\n", "\r\n", " \t\n", "", "\r"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // TimerBaza needs an application object; its loop never runs, ticks are called directly.
    static std::unique_ptr<QCoreApplication> app(new QCoreApplication(*argc, *argv));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    Model model;
    const int rowCount = in.ConsumeIntegralInRange(1, 5);
    for (int r = 0; r < rowCount; ++r) {
        // One-column tables can hold an empty record, which ends the upload early.
        if (in.ConsumeIntegralInRange(0, 7) == 0)
            model.rows << QByteArray();
        else
            model.rows << QByteArray::number(r) + ';' + QByteArray::fromStdString(in.ConsumeRandomLengthString(6));
    }

    TUpload upload({
        [&model](const QByteArray& c) { model.Sent(c); },
        [&model] { return int(model.rows.size()); },
        [&model](int r) { return model.rows.value(r); },
        [&model] { return model.position; },
        [](int percent) {
            if (percent < 0 || percent > 100)
                Fail("progress outside 0..100");
        },
        [&model](bool failed) { model.Finished(failed); },
        nullptr,
        [&model] { ++model.lineEnds; },
    });

    const auto start = [&] {
        model.Started();
        model.inStart = true;
        upload.Start(model.position);
        model.inStart = false;
        if (model.sentInStart != 1)
            Fail("Start did not send its start command");
    };
    const auto feed = [&](const QByteArray& text) {
        model.Received(text);
        upload.ProcessReply(text, text.size());
    };
    const auto tick = [&] {
        if (upload.TimerBaza.isActive())
            upload.TimerBazaTimer();
    };

    start();
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 13)) {
        case 0: case 1: case 2: {
            const auto length = in.ConsumeIntegralInRange<std::size_t>(0, 12);
            const std::string piece = in.ConsumeBytesAsString(length);
            feed(QByteArray(piece.data(), static_cast<qsizetype>(piece.size())));
            break;
        }
        case 3: case 4: case 5:
            feed(QByteArray(in.PickValueInArray(Replies)) + in.PickValueInArray(Endings));
            break;
        case 6: case 7: case 8:
            tick();
            break;
        case 9:
            model.position = in.ConsumeIntegralInRange(-1, 3);
            break;
        case 10:
            start();
            break;
        case 11:
            if (in.ConsumeIntegralInRange(0, 3) == 0) {
                model.running = false;
                model.awaiting = false;
                upload.Stop();
            }
            break;
        case 12:
            model.Held();
            upload.Hold();
            break;
        case 13: {
            const int ends = model.lineEnds;
            const bool due = model.Resumed();
            upload.Resume();
            if (model.lineEnds != ends + (due ? 1 : 0))
                Fail("a link brought back did not get its one line end");
            break;
        }
        }
    }

    // Whatever happened, a scale that now answers every command correctly
    // must see the upload through to one Finished.
    if (model.running) {
        model.Resumed();
        upload.Resume();
        feed("\n");
        for (int step = 0; step < 3 * rowCount + 10 && model.running; ++step) {
            if (model.awaiting)
                feed(model.Expected() + "\r\n");
            if (!upload.TimerBaza.isActive() && model.running)
                Fail("the upload is stuck: nothing awaited and no tick armed");
            tick();
        }
        if (model.running || model.finished != 1)
            Fail("the upload did not finish once a correct scale answered");
    }
    if (upload.Running() != model.running)
        Fail("Running() disagrees with the exchange");
    return 0;
}
