#include "JsonLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

TJsonLine& TJsonLine::Add(const QString& name, const QJsonValue& value) {
    QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    text = text.mid(1, text.size() - 2); // the value without its array's brackets
    if (FText.size() > 1)
        FText += ',';
    // The name through the same writer: quotes and control characters escaped.
    const QByteArray quoted = QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact);
    FText += quoted.mid(1, quoted.size() - 2) + ':' + text;
    return *this;
}

TJsonLine& TJsonLine::AddSeconds(const QString& name, double seconds) {
    return Add(name, std::round(seconds * 1000) / 1000);
}
