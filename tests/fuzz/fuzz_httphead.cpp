// SPDX-License-Identifier: MIT
// Feeds the metrics endpoint's request handling arbitrary bytes, as a client on the network
// may send them: the head is cut where the server cuts it, and whatever it holds, the answer
// is one well-formed response that closes the connection, with a body exactly as long as it
// says, and no body at all for HEAD.

#include <fuzzcheck.h>

#include <cli/metricsserver.h>

#include <QLoggingCategory>

using vantor::cli::MetricsServer;
using vantor::testing::check;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vantor.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype end = MetricsServer::headEnd(bytes);
    check(end == -1 || (end >= 2 && end <= bytes.size()));
    const QByteArrayView head = end < 0 ? QByteArrayView(bytes) : QByteArrayView(bytes).first(end);

    static MetricsServer server;
    server.setText("vantor_board_up 1\n");
    const QByteArray reply = server.respond(head);

    const qsizetype split = reply.indexOf("\r\n\r\n");
    check(split > 0);
    const QByteArray headers = reply.left(split + 2);
    const QByteArray body = reply.mid(split + 4);
    const QList<QByteArray> status = reply.left(reply.indexOf("\r\n")).split(' ');
    check(status.size() >= 3 && status[0] == "HTTP/1.1");
    const int code = status[1].toInt();
    check(code == 200 || code == 400 || code == 404 || code == 405 || code == 505);
    check(headers.endsWith("Connection: close\r\n"));

    const qsizetype at = headers.indexOf("\r\nContent-Length: ");
    check(at > 0);
    const qsizetype valueStart = at + 18;
    const qsizetype length
        = headers.mid(valueStart, headers.indexOf('\r', valueStart) - valueStart).toLongLong();
    const qsizetype lineEnd = head.indexOf('\n');
    const QByteArray line = (lineEnd < 0 ? head : head.first(lineEnd)).toByteArray().trimmed();
    const bool headOnly = line.split(' ').constFirst() == "HEAD";
    check(headOnly ? body.isEmpty() : body.size() == length);
    return 0;
}
