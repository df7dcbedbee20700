#include "Commands.h"
TCliCommand StationCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("station");
    return c;
}
