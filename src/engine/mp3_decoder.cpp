#include "engine/mp3_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarn::engine {

namespace {
// Frames asked of the decoder at a time (about four MPEG frames).
constexpr std::size_t kFramesPerRead = 4608;
// Reads that give nothing in a row before the file counts as ended.
constexpr int kMaxEmptyReads = 1000;
constexpr long kSeekPreframes = 13;
} // namespace

std::unique_ptr<Mp3Decoder> Mp3Decoder::open(std::unique_ptr<FileReader> file, AudioFormat format,
                                             std::string &error)
{
    if (format.channels < 1 || format.channels > 2) {
        error = "its channels differ from the output's";
        return nullptr;
    }
    const bool stereo = format.channels == 2;
    std::unique_ptr<Mp3Decoder> d(new Mp3Decoder(std::move(file), format));
    // A mono file plays on both speakers at full level, as the FFmpeg decoder
    // plays it. Flags not named here (automatic resampling among them) are off.
    d->handle_ = d->stream_.open(MPG123_GAPLESS | MPG123_FORCE_FLOAT |
                                     (stereo ? MPG123_FORCE_STEREO : MPG123_MONO_MIX),
                                 error);
    if (!d->handle_)
        return nullptr;
    mpg123_handle *h = d->handle_.get();
    // Damage of any length is skipped, as the FFmpeg decoder does.
    mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0);
    // After a seek, decode enough frames ahead for the bit reservoir: up to
    // 511 bytes (255 for MPEG 2) of earlier frames, 24 bytes each at the
    // lowest bit rate, plus the frame that overlaps. Fewer give a burst of
    // wrong samples after a seek in a low-rate file.
    mpg123_param(h, MPG123_PREFRAMES, kSeekPreframes, 0);
    // Any format is accepted at first, so that the file's own rate shows
    // (libmpg123 would complain about one it may not give).
    long rate = 0;
    int channels = 0, encoding = 0;
    const int rc = mpg123_getformat(h, &rate, &channels, &encoding);
    mpg123_frameinfo info{};
    if (rc != MPG123_OK || mpg123_info(h, &info) != MPG123_OK) {
        error = d->stream_.file().cancelled()
                    ? "opening the file was cancelled"
                    : std::string("no MPEG audio could be read (") + mpg123_strerror(h) + ")";
        return nullptr;
    }
    if (rate != format.rate || channels != format.channels || encoding != MPG123_ENC_FLOAT_32 ||
        (!stereo && info.mode != MPG123_M_MONO)) {
        error = "its rate or channels differ from the output's";
        return nullptr;
    }
    const off_t length = mpg123_length(h);
    if (length > 0)
        d->estimatedLength_ = double(length) / format.rate;
    // Decode the first frames now: a file that opens may hold nothing playable.
    d->readSome(d->pending_);
    if (d->pending_.empty()) {
        error = d->stream_.file().cancelled() ? "opening the file was cancelled"
                                              : "no sound could be decoded from the file";
        return nullptr;
    }
    return d;
}

void Mp3Decoder::noteEnd(int rc)
{
    ended_ = true;
    if (stream_.file().cancelled())
        return; // nobody listens any more
    if (rc == MPG123_DONE && !stream_.readFailed()) {
        breakReason_ = cutShortReason(stream_.file().path(), std::uintmax_t(stream_.file().size()));
        return;
    }
    const std::string why =
        stream_.readFailed() ? stream_.file().lastError() : mpg123_strerror(handle_.get());
    breakReason_ = "the file could not be read to its end (" + why + ")";
}

bool Mp3Decoder::readSome(std::vector<float> &out)
{
    const std::size_t start = out.size();
    const std::size_t channels = std::size_t(out_.channels);
    for (int empty = 0; !ended_ && out.size() == start && empty < kMaxEmptyReads; ++empty) {
        out.resize(start + kFramesPerRead * channels);
        size_t bytes = 0;
        const int rc =
            mpg123_read(handle_.get(), reinterpret_cast<unsigned char *>(out.data() + start),
                        kFramesPerRead * channels * sizeof(float), &bytes);
        out.resize(start + bytes / (sizeof(float) * channels) * channels);
        if (rc == MPG123_NEW_FORMAT) {
            long rate = 0;
            int ch = 0, encoding = 0;
            mpg123_getformat(handle_.get(), &rate, &ch, &encoding);
            if (rate != out_.rate || ch != out_.channels || encoding != MPG123_ENC_FLOAT_32) {
                ended_ = true; // frames of another rate follow: what came before plays
                breakReason_ = "the file changes its rate part-way";
            }
        } else if (rc != MPG123_OK) {
            noteEnd(rc);
        }
    }
    if (out.size() == start)
        ended_ = true;
    return out.size() > start;
}

bool Mp3Decoder::decode(std::vector<float> &out, std::int64_t &firstFrame)
{
    firstFrame = nextFrame_;
    const std::size_t start = out.size();
    if (!pending_.empty()) {
        out.insert(out.end(), pending_.begin(), pending_.end());
        pending_.clear();
    } else if (!readSome(out)) {
        return false;
    }
    nextFrame_ += std::int64_t((out.size() - start) / std::size_t(out_.channels));
    return true;
}

void Mp3Decoder::seek(double seconds)
{
    pending_.clear();
    breakReason_.clear();
    ended_ = false;
    const off_t target = off_t(std::llround(std::min(std::max(0.0, seconds), 1e9) * out_.rate));
    const off_t at = mpg123_seek(handle_.get(), target, SEEK_SET);
    nextFrame_ = at >= 0 ? at : target;
    // Decode ahead now, to learn whether there is anything at the target.
    if (at >= 0 && readSome(pending_))
        return;
    if (stream_.file().cancelled() || !breakReason_.empty())
        return;
    // Past the real end (the header promised more, or the seek did): the
    // file ends about where its last frame does, which a scan of its frames
    // tells (to the frame: a last frame cut short may count).
    mpg123_scan(handle_.get());
    const off_t length = mpg123_length(handle_.get());
    if (length >= 0)
        nextFrame_ = std::min(nextFrame_, std::int64_t(length));
    ended_ = true;
}

} // namespace tarn::engine
