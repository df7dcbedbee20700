// list-ports: the serial ports present and whether this user may open them.

#include "Commands.h"

#include "CliRequest.h"
#include "Events.h"
#include "ExitStatus.h"
#include "PortList.h"
#include "Report.h"

namespace {

int ListPorts(const TCliRequest& r) {
    const QList<TPortInfo> ports = AvailablePorts();
    if (ports.isEmpty() && !r.FQuiet)
        Err(QStringLiteral("no serial port is present."));
    for (const TPortInfo& p : ports) {
        QString why;
        const bool may = MayOpenPort(p.FDevice, &why);
        const QString usb = UsbIdText(p);
        if (r.FJson) {
            Emit(Event(event::Port)
                     .Add(QStringLiteral("port"), p.FDevice)
                     .Add(QStringLiteral("description"), p.FDescription)
                     .Add(QStringLiteral("usb"), usb)
                     .Add(QStringLiteral("usb_serial"), p.FSerialNumber)
                     .Add(QStringLiteral("access"), may)
                     .Add(QStringLiteral("reason"), may ? QString() : why));
            continue;
        }
        const QString ids = usb.isEmpty() ? QStringLiteral("-") : usb;
        Out(QStringLiteral("%1\t%2\t%3\t%4")
                .arg(p.FDevice, p.FDescription.isEmpty() ? QStringLiteral("-") : p.FDescription,
                     ids, may ? QStringLiteral("may open") : NoAccess(why)));
    }
    return exitOk;
}

} // namespace

TCliCommand ListPortsCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("list-ports");
    c.FHelp = {{c.FName, QStringLiteral("serial ports present: device, description, USB "
                                        "vendor:product\nid, and whether you may open it")}};
    c.FPorts = TPortUse::None;
    c.FRun = ListPorts;
    return c;
}
