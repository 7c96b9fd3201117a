// ParseMessage throughput over a generated mailbox, against one plain pass that splits the
// same bytes into lines, and the growth of parse time with the size of one message.
#include "message/cmessage.h"
#include "support/mailboxgenerator.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace {

// The reference: every message cut into owned lines at CR LF, nothing else.
qint64 splitIntoLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype crlf = text.indexOf("\r\n", pos);
        if (crlf < 0) {
            lines.append(text.mid(pos));
            break;
        }
        lines.append(text.mid(pos, crlf - pos));
        pos = crlf + 2;
    }
    return lines.size();
}

qint64 parse(const QByteArray &text)
{
    CMessage m;
    m.ParseMessage(text);
    return m.MessageBody.size() + m.Attachment.size();
}

// Best of several runs, in seconds; the checksum keeps the work from being optimised away.
double bestOf(int runs, const QList<QByteArray> &messages,
              const std::function<qint64(const QByteArray &)> &work)
{
    double best = 1e30;
    qint64 checksum = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray &m : messages)
            checksum += work(m);
        best = qMin(best, double(timer.nsecsElapsed()) / 1e9);
    }
    std::printf("  (checksum %lld)\n", static_cast<long long>(checksum));
    return best;
}

} // namespace

int main()
{
    constexpr qint64 mailboxBytes = 50LL * 1024 * 1024;
    MailboxGenerator generator;
    const QList<QByteArray> mailbox = generator.mailbox(mailboxBytes);
    qint64 total = 0;
    for (const QByteArray &m : mailbox)
        total += m.size();
    std::printf("mailbox: %lld messages, %.1f MB\n", static_cast<long long>(mailbox.size()),
                double(total) / 1048576);

    const double split = bestOf(3, mailbox, splitIntoLines);
    const double parsed = bestOf(3, mailbox, parse);
    std::printf("line split: %.3f s, ParseMessage: %.3f s\n", split, parsed);

    // One message of 1 MB and one of 20 MB of the same shape.
    MailboxGenerator shaped(99);
    const QList<QByteArray> small
        = {shaped.message(MailboxGenerator::Kind::MixedAttachments, 1 << 20)};
    const QList<QByteArray> large
        = {shaped.message(MailboxGenerator::Kind::MixedAttachments, 20 << 20)};
    const double smallTime = bestOf(5, small, parse);
    const double largeTime = bestOf(3, large, parse);
    const double sizeRatio = double(large.first().size()) / double(small.first().size());
    std::printf("1 MB message: %.4f s, 20 MB message: %.4f s (size ratio %.2f)\n", smallTime,
                largeTime, sizeRatio);

    std::printf("ParseMessage throughput: %.1f MB/s\n", double(total) / 1048576 / parsed);
    std::printf("figure: parse_over_line_split = %.2f (target <= 10)\n", parsed / split);
    std::printf("figure: parse_20mb_over_20x_1mb = %.2f (target <= 1.5)\n",
                largeTime / (smallTime * sizeRatio));
    return 0;
}
