#pragma once
// The receive side of the terminal without any widget: compact stores for the
// received text and the three value columns, and the block handler that turns
// the byte stream into lines (open line, backspace, CR, ignored LF, time
// stamps) and counts one chosen byte value.
//
// The stores keep one byte per received character (plus a line-start table)
// in fixed-size chunks, so that hundreds of megabytes can be held without a
// text-widget line per byte and without the copy-on-grow of one big array.
// The views (TCompactTextView) draw only the visible lines from here.

#include <QByteArray>
#include <QString>
#include <QTime>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// "00000000" .. "11111111": the low eight bits of Value, bit 7 first.
QString IntToBin(int Value);

// An array in chunks of 2^Shift elements that grows at the end and can drop
// its oldest elements. Indices are absolute: they keep counting from the first
// element ever pushed (until clear), and the kept ones are [first(), size()).
// Indexing is O(1), growth never moves stored elements, and dropping frees
// whole chunks, so the slack is at most one chunk at either end.
template <typename T, int Shift>
class TChunkedVector {
public:
    static constexpr qint64 ChunkSize = qint64(1) << Shift;

    qint64 size() const { return m_size; }    // one past the last index
    qint64 first() const { return m_first; }  // the oldest kept index
    qint64 count() const { return m_size - m_first; }
    bool empty() const { return m_size == m_first; }
    T at(qint64 i) const { return chunk(i)[i & (ChunkSize - 1)]; }

    void push(T value)
    {
        if ((m_size & (ChunkSize - 1)) == 0)
            addChunkIfNeeded();
        chunk(m_size)[m_size & (ChunkSize - 1)] = value;
        ++m_size;
    }

    void append(const T* data, qint64 n)
    {
        while (n > 0) {
            addChunkIfNeeded();
            const qint64 offset = m_size & (ChunkSize - 1);
            const qint64 k = std::min(n, ChunkSize - offset);
            std::copy(data, data + k, chunk(m_size) + offset);
            data += k;
            n -= k;
            m_size += k;
        }
    }

    // Copies n elements starting at from into out.
    void copy(qint64 from, qint64 n, T* out) const
    {
        while (n > 0) {
            const qint64 offset = from & (ChunkSize - 1);
            const qint64 k = std::min(n, ChunkSize - offset);
            const T* c = chunk(from) + offset;
            std::copy(c, c + k, out);
            out += k;
            from += k;
            n -= k;
        }
    }

    // Forgets every element before index and frees the chunks they filled.
    void dropBefore(qint64 index)
    {
        m_first = std::clamp(index, m_first, m_size);
        while (!m_chunks.empty() && ((m_firstChunk + 1) << Shift) <= m_first) {
            m_chunks.pop_front();
            ++m_firstChunk;
        }
    }

    void clear()
    {
        m_chunks.clear();
        m_size = m_first = m_firstChunk = 0;
    }

    qint64 memoryBytes() const { return qint64(m_chunks.size()) * ChunkSize * qint64(sizeof(T)); }

private:
    T* chunk(qint64 i) const { return m_chunks[size_t((i >> Shift) - m_firstChunk)].get(); }
    void addChunkIfNeeded()
    {
        if ((m_size >> Shift) - m_firstChunk == qint64(m_chunks.size()))
            m_chunks.emplace_back(new T[size_t(ChunkSize)]);
    }

    std::deque<std::unique_ptr<T[]>> m_chunks;
    qint64 m_size = 0;
    qint64 m_first = 0;
    qint64 m_firstChunk = 0;  // absolute chunk number of m_chunks.front()
};

// Anything a TCompactTextView can show: numbered lines of code page 1250 bytes.
class TLineSource {
public:
    virtual ~TLineSource() = default;
    virtual qint64 lineCount() const = 0;
    virtual QByteArray line(qint64 index) const = 0;
    // A slice of a line (a view draws only the visible columns of a long line).
    virtual qint64 lineLength(qint64 index) const { return line(index).size(); }
    virtual QByteArray lineSlice(qint64 index, qint64 from, qint64 count) const
    {
        return line(index).mid(from, count);
    }
    // The longest line so far, in characters (for the horizontal scroll range).
    virtual int maxLineLength() const = 0;
    // How many lines have been dropped from the front since the source was
    // last emptied: a view keeps its place on the remaining ones.
    virtual qint64 droppedLines() const { return 0; }
};

// The lines of RxMemo: finished lines in one chunked byte store with a table of
// line starts, and the last line apart, since the block handler rewrites it.
// A box with lines always has a last line; only CLEAR leaves it with none.
class TReceiveText : public TLineSource {
public:
    TReceiveText();  // one empty line, as a new receive box

    qint64 lineCount() const override;
    QByteArray line(qint64 index) const override;
    qint64 lineLength(qint64 index) const override;
    QByteArray lineSlice(qint64 index, qint64 from, qint64 count) const override;
    int maxLineLength() const override { return m_maxLength; }
    qint64 droppedLines() const override { return m_starts.first(); }

    bool hasLines() const { return m_hasLast; }
    QByteArray& last() { return m_last; }
    const QByteArray& last() const { return m_last; }
    // The last line was written: it exists from now on (the first line of an empty box).
    void lastWritten();
    // Ends the last line and starts a new empty one, whose first byte is
    // byte streamStart of everything received.
    void newLine(qint64 streamStart);
    void clear(qint64 streamStart);  // no lines at all; the next one starts at streamStart
    qint64 memoryBytes() const;
    // Where line index (as counted by line()) began in everything received.
    qint64 streamStart(qint64 index) const;
    // Drops the oldest finished lines holding about `fraction` of the text;
    // an open line longer than maxOpen also loses its oldest part.
    void dropOldest(double fraction, qint64 maxOpen);

private:
    TChunkedVector<char, 20> m_text;        // finished lines, back to back
    TChunkedVector<quint64, 14> m_starts;   // start of each finished line in m_text
    TChunkedVector<quint64, 14> m_streams;  // start of each finished line in the stream
    qint64 m_lastStream = 0;
    QByteArray m_last;
    bool m_hasLast = true;
    int m_maxLength = 0;
};

// One value column: the bytes received while its check box was on, one line
// each, formatted when drawn.
class TValueColumn : public TLineSource {
public:
    enum Format { Decimal, Hexadecimal, Binary };
    explicit TValueColumn(Format format) : m_format(format) {}

    qint64 lineCount() const override { return m_bytes.count(); }
    QByteArray line(qint64 index) const override;
    int maxLineLength() const override;
    qint64 droppedLines() const override { return m_bytes.first(); }

    // The bytes are bytes streamStart... of everything received.
    void append(const char* data, qint64 count, qint64 streamStart);
    void clear();
    qint64 memoryBytes() const { return m_bytes.memoryBytes(); }
    void dropOldest(double fraction) { m_bytes.dropBefore(m_bytes.first() + qint64(fraction * m_bytes.count())); }
    // The line showing the first byte at or after streamOffset (lineCount()
    // when there is none).
    qint64 lineAtStream(qint64 streamOffset) const;

private:
    // A run of bytes recorded without a gap: entries from Entry on are the
    // stream's bytes from Stream on.
    struct Segment {
        qint64 Stream;
        qint64 Entry;
    };
    Format m_format;
    TChunkedVector<quint8, 20> m_bytes;
    std::vector<Segment> m_segments;
};

// What the window's check boxes and spin box say while a block is handled.
struct TReceiveOptions {
    bool Dec = false;
    bool Hex = false;
    bool Bin = false;
    bool Time = false;
    int CountChar = 13;
    // A line feed not following a carriage return also ends the line (for
    // devices that end lines with LF only); CR LF stays one line break.
    bool LfNewLine = false;
    // A line carries one time stamp, the time its first byte came, however
    // many blocks it spans.
    bool StampOnce = false;
};

// The four receive boxes' contents and the counter, and the block handler.
class TReceiveLog {
public:
    TReceiveLog();

    // Handles one block from the driver (the receive algorithm of the window).
    void receive(const char* data, qint64 size, const TReceiveOptions& options);
    void clear();  // CLEAR: the four boxes emptied; the counter stays

    // Time of day for the stamps; read at most once per block.
    std::function<QTime()> clock = [] { return QTime::currentTime(); };
    // Called with each line as it is ended, as the box shows it (time stamp
    // included), before the next line starts: the text log.
    std::function<void(const QByteArray& line)> LineEnded;

    TReceiveText Text;
    TValueColumn Dec{TValueColumn::Decimal};
    TValueColumn Hex{TValueColumn::Hexadecimal};
    TValueColumn Bin{TValueColumn::Binary};
    qint32 CharCount = 0;
    qint64 Received = 0;  // bytes handled since start (for views and measurements)

    qint64 memoryBytes() const;
    // The stores keep the newest lines within this many bytes (0: no limit).
    qint64 MemoryLimit = DefaultMemoryLimit;
    static constexpr qint64 DefaultMemoryLimit = qint64(256) << 20;

private:
    void writeOpenLine(const TReceiveOptions& options, QByteArray& stamp);
    void endLine(const TReceiveOptions& options, QByteArray& stamp, qint64 nextStream);
    void enforceLimit();

    bool m_lastWasCr = false;    // the last byte handled was a carriage return
    bool m_openStamped = false;  // the open line carries a time stamp
};
