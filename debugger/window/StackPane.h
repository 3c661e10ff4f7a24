#pragma once
// The Stack pane: the bytes of the stack from SP down to its base, each
// return address marked as a pair with the procedure and line it returns to.

#include <QWidget>

class QLabel;
class QTableWidget;

namespace m51dbg {

class StackModel;

class StackPane : public QWidget {
    Q_OBJECT
public:
    explicit StackPane(StackModel* model, QWidget* parent = nullptr);

private:
    void refresh();

    StackModel* m_model;
    QLabel* m_summary = nullptr;
    QTableWidget* m_table = nullptr;
};

} // namespace m51dbg
