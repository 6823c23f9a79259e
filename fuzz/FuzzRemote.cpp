// libFuzzer target for what remote clients send: any bytes as a write's JSON body, as a WebSocket client's
// set message and as an OSC datagram. A refusal must say why and take nothing; what is taken must be a
// plain value (a number, true/false or a text) for a named variable, and an OSC set's number must be whole.
// What the OSC writer makes of a taken value must read back as an OSC message.
//
// Built with OXS_REMOTE_SEEDS instead, it is an ordinary program that writes the seed corpus:
// oxs_fuzz_remote_seeds DIR

#include "OscMessages.h"
#include "RemoteBodies.h"

#include <lo/lo_lowlevel.h>

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

bool plainValue(const QJsonValue &v) {
    return v.isBool() || v.isDouble() || v.isString();
}

bool plausibleName(const QString &name) {
    if (name.isEmpty() || name.size() > 64) return false;
    for (QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_')) return false;
    return true;
}

// An OSC message the writer made reads back with liblo.
void checkReadable(const QByteArray &packet) {
    check(!packet.isEmpty());
    QByteArray bytes = packet;
    lo_message m = lo_message_deserialise(bytes.data(), size_t(bytes.size()), nullptr);
    check(m != nullptr);
    check(lo_message_get_argc(m) == 1);
    lo_message_free(m);
}

void fuzzBodies(const QByteArray &text) {
    QJsonValue value;
    QString why;
    if (OxsRemote::readValueBody(text, value, &why))
        check(plainValue(value));
    else
        check(!why.isEmpty());

    QString name;
    why.clear();
    if (OxsRemote::readSetMessage(text, name, value, &why))
        check(!name.isEmpty() && plainValue(value));
    else
        check(!why.isEmpty());
}

void fuzzOsc(const QByteArray &packet) {
    QList<OxsRemote::OscRequest> requests;
    QString why;
    if (!OxsRemote::readOscPacket(packet, requests, &why)) {
        check(requests.isEmpty() && !why.isEmpty());
        return;
    }
    check(!requests.isEmpty() && requests.size() <= OxsRemote::kMaxOscBundleMessages);
    for (const OxsRemote::OscRequest &r : requests) {
        switch (r.kind) {
        case OxsRemote::OscRequest::Kind::Subscribe:
        case OxsRemote::OscRequest::Kind::Unsubscribe:
            check(r.name.isEmpty());
            break;
        case OxsRemote::OscRequest::Kind::Get:
            check(plausibleName(r.name));
            break;
        case OxsRemote::OscRequest::Kind::Set:
            check(plausibleName(r.name));
            if (!r.refusal.isEmpty()) {
                checkReadable(OxsRemote::oscErrorMessage(r.name, r.refusal));
                break;
            }
            check(plainValue(r.value));
            if (r.value.isDouble()) {
                const double v = r.value.toDouble();
                check(std::isfinite(v) && std::trunc(v) == v);
            }
            checkReadable(OxsRemote::oscValueMessage(r.name, r.value));
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    fuzzBodies(bytes);
    fuzzOsc(bytes);
    return 0;
}

#ifdef OXS_REMOTE_SEEDS

#include <lo/lo.h>

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <cstdio>
#include <functional>

namespace {

QByteArray osc(const char *path, const std::function<void(lo_message)> &add = {}) {
    lo_message m = lo_message_new();
    if (add) add(m);
    size_t size = 0;
    void *raw = lo_message_serialise(m, path, nullptr, &size);
    const QByteArray out(static_cast<const char *>(raw), qsizetype(size));
    std::free(raw);
    lo_message_free(m);
    return out;
}

QByteArray bundle(const QList<QByteArray> &messages) {
    QByteArray out("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QByteArray &m : messages) {
        char size[4];
        qToBigEndian(qint32(m.size()), size);
        out.append(size, 4).append(m);
    }
    return out;
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) return 1;
    int count = 0;
    const auto write = [&](const char *name, const QByteArray &bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        if (f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()) ++count;
    };
    write("body-number", R"({"value": 120})");
    write("body-text", R"({"value": "10.0.0.9"})");
    write("ws-set", R"({"set": "OBLACK", "value": true})");
    write("ws-set-nested", R"({"set": "HPOS", "value": {"a": [1, 2.5, null]}})");
    write("osc-set-i", osc("/oxs/set/HPOS", [](lo_message m) { lo_message_add_int32(m, 120); }));
    write("osc-set-h", osc("/oxs/set/VERK", [](lo_message m) { lo_message_add_int64(m, 4294967295LL); }));
    write("osc-set-f", osc("/oxs/set/HPOS", [](lo_message m) { lo_message_add_float(m, 7.5f); }));
    write("osc-set-d", osc("/oxs/set/HPOS", [](lo_message m) { lo_message_add_double(m, 12.0); }));
    write("osc-set-s", osc("/oxs/set/LOCAL_IP", [](lo_message m) { lo_message_add_string(m, "10.0.0.9"); }));
    write("osc-set-T", osc("/oxs/set/OBLACK", [](lo_message m) { lo_message_add_true(m); }));
    write("osc-set-blob", osc("/oxs/set/HPOS", [](lo_message m) {
              lo_blob b = lo_blob_new(3, "abc");
              lo_message_add_blob(m, b);
              lo_blob_free(b);
          }));
    write("osc-get", osc("/oxs/get/HPOS"));
    write("osc-subscribe", osc("/oxs/subscribe"));
    write("osc-bundle", bundle({osc("/oxs/unsubscribe"), osc("/oxs/get/VPOS"),
                                osc("/oxs/set/FRZ", [](lo_message m) { lo_message_add_false(m); })}));
    std::printf("%d seeds in %s\n", count, argv[1]);
    return 0;
}

#endif
