#include "RemoteBodies.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace OxsRemote {

namespace {

bool readObject(const QByteArray &text, QJsonObject &object, QString *why) {
    if (text.size() > kMaxBodyBytes) {
        *why = QStringLiteral("the body is larger than %1 bytes").arg(kMaxBodyBytes);
        return false;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        *why = QStringLiteral("the body is not JSON: %1 at offset %2")
                   .arg(error.errorString())
                   .arg(error.offset);
        return false;
    }
    if (!doc.isObject()) {
        *why = QStringLiteral("the body must be a JSON object");
        return false;
    }
    object = doc.object();
    return true;
}

bool takeValue(const QJsonObject &object, QJsonValue &value, QString *why) {
    const auto it = object.constFind(QLatin1String("value"));
    if (it == object.constEnd() || it->isNull() || it->isUndefined() || it->isArray() || it->isObject()) {
        *why = QStringLiteral("the body needs a \"value\": a number, true/false or a text");
        return false;
    }
    value = *it;
    return true;
}

} // namespace

bool readValueBody(const QByteArray &body, QJsonValue &value, QString *why) {
    QJsonObject object;
    return readObject(body, object, why) && takeValue(object, value, why);
}

bool readSetMessage(const QByteArray &text, QString &name, QJsonValue &value, QString *why) {
    QJsonObject object;
    if (!readObject(text, object, why)) return false;
    const QJsonValue set = object.value(QLatin1String("set"));
    if (!set.isString() || set.toString().isEmpty()) {
        *why = QStringLiteral("a message needs \"set\": the name of a variable");
        return false;
    }
    name = set.toString();
    return takeValue(object, value, why);
}

} // namespace OxsRemote
