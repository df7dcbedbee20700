#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// One JSON object on one line, its fields in the order they were added: a reader's eye and grep
// find the first fields first, where QJsonObject would sort them.
class TJsonLine {
public:
    TJsonLine& Add(const QString& name, const QJsonValue& value);
    // A time in seconds, to the millisecond.
    TJsonLine& AddSeconds(const QString& name, double seconds);
    // The object, without a line end.
    QByteArray Text() const { return FText + '}'; }

private:
    QByteArray FText = "{";
};
