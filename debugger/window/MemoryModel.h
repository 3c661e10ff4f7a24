#pragma once
// One memory of the debugged machine (internal RAM, external RAM or code) as
// a table of 16 bytes a row plus their characters. The model keeps no copy of
// the memory: a cell is read when the view draws it, from the built-in
// simulator directly (also while it runs, between its slices) or, for s51,
// from the rows read at its last stop. Bytes changed since the last stop are
// marked; an edited byte goes down as DebugEngine::write.

#include "debugger/DebugEngine.h"

#include <QAbstractTableModel>

#include <optional>
#include <vector>

namespace m51dbg {

class MemoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int CharColumn = 16;

    MemoryModel(DebugEngine* engine, DebugEngine::Memory memory, QObject* parent = nullptr);

    DebugEngine::Memory memory() const { return m_memory; }
    unsigned size() const { return m_size; }
    bool isWritable(unsigned address) const;
    std::optional<uint8_t> byteAt(unsigned address) const;
    bool isChanged(unsigned address) const;

    // The view shows rows first..last: what is read from s51 and remembered at
    // a stop. `look`: read them now (a scroll while paused), else only noted.
    void setShownRows(int first, int last, bool look = true);
    // The machine stopped (a step, a breakpoint, a new session) or changed (an edit).
    void onStopped(DebugEngine::StopCause cause);
    // While running: the shown rows drawn again with the machine's present state.
    void refreshShown();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    void editRejected(const QString& message);

private:
    unsigned sizeNow() const;
    void remember(int first, int last);
    void readFromSimulator(int first, int last);

    DebugEngine* m_engine;
    DebugEngine::Memory m_memory;
    unsigned m_size = 0;
    int m_first = 0, m_last = -1;
    // -1: not known. m_atStop: the shown bytes at the last stop, m_before: at the one before.
    std::vector<int16_t> m_atStop, m_before, m_read;
    unsigned m_readGeneration = 0;
};

// "2C", "2CH", "0x2C", "0A5H" -> the number, or nothing when it is not hexadecimal or above `max`.
std::optional<unsigned> ParseHexNumber(const QString& text, unsigned max);

} // namespace m51dbg
