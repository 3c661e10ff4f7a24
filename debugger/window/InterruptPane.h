#pragma once
// The Interrupts pane: each interrupt source of the chip, whether it is
// enabled (its bit and EA), pending (its request flag), in service (its
// handler is on the stack) and its priority level (IP).

#include <QWidget>

class QLabel;
class QTableWidget;

namespace m51dbg {

class StackModel;

class InterruptPane : public QWidget {
    Q_OBJECT
public:
    explicit InterruptPane(StackModel* model, QWidget* parent = nullptr);

private:
    void refresh();

    StackModel* m_model;
    QLabel* m_summary = nullptr;
    QTableWidget* m_table = nullptr;
};

} // namespace m51dbg
