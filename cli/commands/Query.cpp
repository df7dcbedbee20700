// query: open the port and identify the printer.

#include "Commands.h"

#include "Report.h"

TCliCommand QueryCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("query");
    c.FHelp = {{c.FName, QStringLiteral("open the port, identify the printer, print the "
                                        "identification")}};
    c.FRun = [](const TCliRequest& r) {
        return RunOnAllPorts(
            r, jobQuery, [](TCommThread&) {}, 0, true);
    };
    return c;
}
