#pragma once
// The 40 ms tick by which a pane follows the running program: it runs while
// the engine runs the program and stops with it.

#include "debugger/DebugEngine.h"

#include <QTimer>

namespace m51dbg {

class LiveTimer : public QTimer {
public:
    LiveTimer() { setInterval(40); }
    void follow(DebugEngine* engine)
    {
        connect(engine, &DebugEngine::stateChanged, this, [this](DebugEngine::State state) {
            if (state == DebugEngine::State::Running)
                start();
            else
                stop();
        });
    }
};

}  // namespace m51dbg
