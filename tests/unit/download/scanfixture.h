#pragma once

// A scripted mailbox for mailbox-scan tests: builds the service's mails, serves
// them through the fake transport and records what the run showed.

#include "core/settings.h"
#include "download/readlist.h"
#include "download/runhost.h"
#include "faketransport.h"
#include "lzhsample.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "pop3/apop.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

inline const QByteArray kDataSubject = "[TURFNET Internet Services]  Power Data";
inline const QByteArray kInfoSubject = "[TURFNET Internet Services]  Information";

// ISO-2022-JP bytes of a short Japanese line (年 and 月 are enough for the description).
inline QByteArray jisLine(const QByteArray &year)
{
    // "YYYY年08月22日 出馬表": 年 = 472F, 月 = 376E, 日 = 467C, 出馬表 = 3D50 474F 493D
    return year + "\x1b$BG/\x1b(B08\x1b$B7n\x1b(B22\x1b$BF|\x1b(B \x1b$B=PGOI=\x1b(B";
}

inline QByteArray base64Lines(const QByteArray &payload)
{
    const QByteArray b64 = payload.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < b64.size(); i += 76)
        out += b64.mid(i, 76) + "\r\n";
    return out;
}

// The service's attachment: a whole LZH archive holding `data`.
inline QByteArray lzhPayload(const QByteArray &data)
{
    return LzhSample::stored("DATA.TXT", data);
}

struct TestMail {
    QByteArray subject = kDataSubject;
    QByteArray fileName = "DU991204.LZH";
    QByteArray date = "Mon, 06 Dec 1999 10:00:00 +0900";
    QByteArray bodyLine = jisLine("2099");
    QByteArray payload = lzhPayload("data");
    QByteArray uid;
    bool multipart = true;
    QByteArray topReply; // what TOP n 20 sends instead of the true view, when set

    QByteArray text() const
    {
        QByteArray t =
            "Date: " + date + "\r\nFrom: data@turfnet.example\r\nTo: user@example.org\r\nSubject: " + subject + "\r\n";
        if (!multipart)
            return t + "\r\n" + bodyLine + "\r\n";
        t += "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"BND\"\r\n\r\n";
        t += "preamble\r\n--BND\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n" + bodyLine + "\r\n";
        t += "--BND\r\nContent-Type: application/octet-stream; name=\"" + fileName +
             "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        t += base64Lines(payload) + "\r\n--BND--\r\n";
        return t;
    }
    // The first lines and 20 body lines, as TOP n 20 sends them.
    QByteArray top() const
    {
        const QByteArray all = text();
        const qsizetype headerEnd = all.indexOf("\r\n\r\n") + 4;
        qsizetype pos = headerEnd;
        for (int i = 0; i < 20 && pos < all.size(); ++i) {
            const qsizetype nl = all.indexOf("\r\n", pos);
            if (nl < 0)
                break;
            pos = nl + 2;
        }
        return all.left(pos);
    }
};

// Records everything a run shows.
class RecordingHost : public RunHost
{
public:
    QStringList statuses;
    QList<qint64> progressTotals;
    int refreshes = 0;
    bool busy = false;
    QStringList messages;
    ReadList list;

    void ShowStatus(const QString &text) override { statuses << text; }
    void ShowProgress(const QString &, qint64 total, qint64) override
    {
        progressTotals << total;
        if (total < 1)
            statuses << QString();
    }
    void RefreshFileList() override { ++refreshes; }
    void repaintWindow() override {}
    void setBusy(bool b) override { busy = b; }
    bool isBusy() const override { return busy; }
    void setDialAbortVisible(bool) override {}
    MessageBox::Answer showMessage(const QString &text, MessageBox::Style) override
    {
        messages << text;
        return MessageBox::Ok;
    }
    ReadList &readList() override { return list; }
};

// A POP3 server script over a list of mails (numbered from 1).
class ScriptedMailbox
{
public:
    // RETR of the numbers in `ownRetr` is left to the test; `pipelining`: CAPA offers it.
    ScriptedMailbox(FakeTransport &t, const QList<TestMail> &mails, const QList<int> &ownRetr = {},
                    bool pipelining = false)
    {
        t.setGreeting("+OK ready\r\n");
        t.respond("USER user", QByteArray("+OK\r\n"));
        t.respond("PASS secret", QByteArray("+OK logged in\r\n"));
        t.respond("NOOP", QByteArray("+OK\r\n"));
        // One command at a time unless a test offers more.
        t.respond("CAPA", pipelining ? QByteArray("+OK\r\nTOP\r\nUIDL\r\nPIPELINING\r\n.\r\n")
                                     : QByteArray("-ERR no capabilities\r\n"));
        qint64 total = 0;
        QByteArray uidl = "+OK\r\n", list = "+OK\r\n";
        for (int i = 0; i < mails.size(); ++i) {
            const QByteArray n = QByteArray::number(i + 1);
            const QByteArray text = mails[i].text();
            total += text.size();
            const QByteArray uid = mails[i].uid.isEmpty() ? "UID" + n : mails[i].uid;
            uidl += n + " " + uid + "\r\n";
            list += n + " " + QByteArray::number(text.size()) + "\r\n";
            t.respond("TOP " + n + " 20", mails[i].topReply.isEmpty() ? "+OK\r\n" + mails[i].top() + ".\r\n"
                                                                    : mails[i].topReply);
            if (!ownRetr.contains(i + 1))
                t.respond("RETR " + n, "+OK " + QByteArray::number(text.size()) + " octets\r\n" + text + ".\r\n");
            t.respond("DELE " + n, [this, n](FakeTransport &tr, const QByteArray &) {
                deleted << n.toInt();
                tr.server("+OK deleted\r\n");
            });
        }
        t.respond("STAT", "+OK " + QByteArray::number(mails.size()) + " " + QByteArray::number(total) + "\r\n");
        t.respond("UIDL", uidl + ".\r\n");
        t.respond("LIST", list + ".\r\n");
        t.respondThenClose("QUIT", QByteArray("+OK bye\r\n"));
    }
    QList<int> deleted;
};

// Fake time, a fake pump, the component on a fake transport.
struct ScanRig {
    FakeClock clock{QDateTime(QDate(2026, 12, 4), QTime(12, 0)), 5000};
    FakeEventPump pump{clock, 200};
    ScopedClock scopedClock{&clock};
    ScopedEventPump scopedPump{&pump};
    FakeTransport *transport = new FakeTransport(pump);
    aPOP pop{transport, aPOP::TimerMode::ManualTick};
    RecordingHost host;

    ScanRig()
    {
        pump.addHook([this] { pop.timerTick(); });
        Settings = SettingsRecord();
        Settings.ServerName = QStringLiteral("127.0.0.1");
        Settings.UserName = QStringLiteral("user");
        Settings.PassWord = QStringLiteral("secret");
    }
};
