#include "ide/SimulatorDocks.h"

#include "debugger/window/DebugController.h"
#include "debugger/window/SimulatorWindow.h"
#include "ide/WindowLayout.h"

#include <QDockWidget>
#include <QPointer>
#include <QScrollArea>

#include <memory>
#include <vector>

namespace {

// The group a pane of the simulator docks in: memory, code, or what the run tells.
WindowLayout::Group GroupOf(const QString& id)
{
    using Group = WindowLayout::Group;
    static const QStringList code = {QStringLiteral("disassemblyView"), QStringLiteral("callStackPane"),
                                     QStringLiteral("breakpointPane"), QStringLiteral("interruptPane")};
    static const QStringList insight = {QStringLiteral("profile"), QStringLiteral("watch"), QStringLiteral("locals"),
                                        QStringLiteral("board"), QStringLiteral("serial")};
    return code.contains(id) ? Group::CodePanes : insight.contains(id) ? Group::InsightPanes : Group::Panes;
}

} // namespace

void dockSimulator(m51dbg::DebugController* debugger, WindowLayout* layout)
{
    using Group = WindowLayout::Group;
    auto made = [layout](m51dbg::SimulatorWindow* window) {
        // A short dock scrolls the groups instead of squeezing them.
        auto* scroll = new QScrollArea;
        scroll->setObjectName(QStringLiteral("simulatorScroll"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(window);
        scroll->setMinimumWidth(window->sizeHint().width() > 0 ? std::min(window->sizeHint().width(), 560) : 0);
        layout->addDock(QStringLiteral("simulator"), window->windowTitle(), scroll, Group::Simulator);
        // The window owns its panes: their docks go with it.
        auto docks = std::make_shared<std::vector<QPointer<QDockWidget>>>();
        window->setPaneHost([layout, docks](const m51dbg::SimulatorWindow::Pane& pane) {
            QDockWidget* dock = layout->addDock(pane.id, pane.title, pane.widget, GroupOf(pane.id));
            docks->push_back(dock);
            // A view added while the simulator is in sight comes into sight too.
            const QDockWidget* simulator = layout->dock(QStringLiteral("simulator"));
            if (simulator && !simulator->isHidden() && layout->placedByDefault(pane.id))
                layout->showDefaultPlacedDocks();
        });
        QObject::connect(window, &QObject::destroyed, layout, [docks] {
            for (const QPointer<QDockWidget>& dock : *docks)
                delete dock.data();
        });
        // Docks that had no stored place wait for the debug start.
        for (const QString& id : {QStringLiteral("simulator")})
            if (layout->placedByDefault(id))
                layout->dock(id)->hide();
        for (const QPointer<QDockWidget>& dock : *docks)
            if (dock && layout->placedByDefault(dock->objectName().mid(5)))
                dock->hide();
    };
    auto show = [layout] {
        QDockWidget* simulator = layout->dock(QStringLiteral("simulator"));
        if (!simulator)
            return;
        if (simulator->isHidden() && layout->placedByDefault(QStringLiteral("simulator")))
            layout->makeRoomForDocks();
        layout->showDefaultPlacedDocks();
        simulator->show();
        simulator->raise();
    };
    debugger->setWindowHost(made, show);
}
