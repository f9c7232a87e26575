// Where the output stands, written by the output thread after each render
// and read by the owner to tell the position and by the decoder to tell when
// a file's end was heard.
//
// THREADS
//   One writer (the output thread), any number of readers. A sequence lock:
//   the writer makes the count odd while it writes; a reader retries until it
//   read the same even count before and after. Every field is an atomic, so
//   a torn read is merely retried, never undefined; all accesses are
//   sequentially consistent (a handful per call), which needs no fences, so
//   ThreadSanitizer can follow it.
#pragma once

#include <atomic>
#include <cstdint>

namespace tarn::engine {

// The last audio handed out of one segment: the frame after it (the file's
// timeline) and the output's framesHanded() right after it.
struct HeardMark {
    std::uint64_t segment = 0;
    std::int64_t frame = 0;
    std::int64_t total = 0;
};

struct MarkSnapshot {
    HeardMark current;   // the segment the output hands out now
    HeardMark previous;  // the one before (still sounding for a while)
    HeardMark end;       // the last segment whose final frame was handed out
    HeardMark endBefore; // the one before: a short file may end before the
                         // end of the file before it was reported
};

class HeardMarks {
public:
    // Writer only.
    void publish(const MarkSnapshot &s)
    {
        const std::uint32_t seq = seq_.load();
        seq_.store(seq + 1);
        store(fields_[0], s.current);
        store(fields_[1], s.previous);
        store(fields_[2], s.end);
        store(fields_[3], s.endBefore);
        seq_.store(seq + 2);
    }

    MarkSnapshot read() const
    {
        for (;;) {
            const std::uint32_t before = seq_.load();
            if (before & 1u)
                continue;
            MarkSnapshot s{load(fields_[0]), load(fields_[1]), load(fields_[2]), load(fields_[3])};
            if (seq_.load() == before)
                return s;
        }
    }

private:
    struct Fields {
        std::atomic<std::uint64_t> segment{0};
        std::atomic<std::int64_t> frame{0};
        std::atomic<std::int64_t> total{0};
    };
    static void store(Fields &f, const HeardMark &m)
    {
        f.segment.store(m.segment);
        f.frame.store(m.frame);
        f.total.store(m.total);
    }
    static HeardMark load(const Fields &f)
    {
        return {f.segment.load(), f.frame.load(), f.total.load()};
    }

    std::atomic<std::uint32_t> seq_{0};
    Fields fields_[4];
};

// Frames of `mark` heard once the output has played `heardTotal` frames in
// all: the output still holds those handed after heardTotal.
inline std::int64_t heardFrame(const HeardMark &mark, std::int64_t heardTotal)
{
    const std::int64_t pending = mark.total - heardTotal;
    return pending > 0 ? mark.frame - pending : mark.frame;
}

} // namespace tarn::engine
