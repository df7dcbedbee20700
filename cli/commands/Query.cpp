// query: open the port and identify the printer.

#include "Commands.h"

#include "CommThread.h"
#include "PortStep.h"

TCliCommand QueryCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("query");
    c.FHelp = {{c.FName, QStringLiteral("open the port, identify the printer, print the "
                                        "identification")}};
    c.FPrepare = [](const TCliRequest& r) {
        auto step = std::make_unique<TPortStep>(r, jobQuery, nullptr);
        step->FData = true;
        return step;
    };
    return c;
}
