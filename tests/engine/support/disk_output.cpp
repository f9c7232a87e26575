#include "engine/support/disk_output.h"
#include "engine/support/media_files.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <numbers>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>

namespace tarn::test {

namespace {

// The fast disk device writes about 250 times real time (some 90 MB a
// second); a stuck engine must not fill the disk before the timeout ends the
// recording.
constexpr std::uintmax_t maxCaptureBytes = 256u << 20;
// No file of a test process may grow beyond this; SDL treats the failed write
// as a removed device. Tests write nothing else of this size.
constexpr rlim_t maxFileBytes = rlim_t{1} << 30;
// A capture is written without pause while its device is open, so one left
// alone this long belongs to a test that was killed before its destructor ran.
constexpr auto staleAfter = std::chrono::minutes(5);
constexpr std::string_view capturePrefix = "tarn-disk-";

// Caps the size of every file this process writes, so that a capture whose
// engine never stops fails its writes instead of filling the disk.
void limitFileSize()
{
    std::signal(SIGXFSZ, SIG_IGN); // a write past the cap fails with EFBIG instead
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur > maxFileBytes) {
        limit.rlim_cur = maxFileBytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
}

void removeStaleCaptures(const std::filesystem::path &dir)
{
    std::error_code ec;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto &entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(capturePrefix) || !name.ends_with(".raw"))
            continue;
        std::error_code timeError;
        const auto written = entry.last_write_time(timeError);
        if (!timeError && now - written > staleAfter)
            std::filesystem::remove(entry.path(), timeError);
    }
}

float sampleAt(const char *p, const engine::OutputSpec &spec)
{
    if (spec.isFloat) {
        float v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    switch (spec.bytesPerSample) {
    case 1:
        return (static_cast<unsigned char>(*p) - 128) / 128.0f;
    case 2: {
        std::int16_t v;
        std::memcpy(&v, p, sizeof v);
        return v / 32768.0f;
    }
    case 4: {
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<float>(v / 2147483648.0);
    }
    default:
        return std::numeric_limits<float>::quiet_NaN();
    }
}

} // namespace

std::string fixture(const std::string &name)
{
    const char *dir = std::getenv("TARN_FIXTURES");
    return std::string(dir ? dir : "tests/fixtures") + "/" + name;
}

DiskCapture::DiskCapture(Speed speed)
{
    limitFileSize();
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    removeStaleCaptures(dir);
    std::string pattern = (dir / (std::string(capturePrefix) + "XXXXXX.raw")).string();
    const int fd = mkstemps(pattern.data(), 4);
    if (fd >= 0)
        close(fd);
    path_ = pattern;
    // SDL reads these when a device opens, so they apply to the next Play().
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    if (speed == Speed::Fast)
        setenv("SDL_DISKAUDIODELAY", "0", 1);
    else
        unsetenv("SDL_DISKAUDIODELAY"); // the driver then waits one period per buffer
}

DiskCapture::~DiskCapture()
{
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

std::uintmax_t DiskCapture::bytesWritten() const
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(path_, ec);
    return ec ? 0 : size;
}

std::vector<float> DiskCapture::read(const engine::OutputSpec &spec) const
{
    std::ifstream in(path_, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::vector<float> out;
    if (spec.bytesPerSample <= 0)
        return out;
    const std::size_t width = static_cast<std::size_t>(spec.bytesPerSample);
    out.reserve(bytes.size() / width);
    for (std::size_t at = 0; at + width <= bytes.size(); at += width)
        out.push_back(sampleAt(bytes.data() + at, spec));
    return out;
}

void EndOfStreamWaiter::attach(engine::Engine &engine)
{
    engine.setEventCallback([queue = queue_](const engine::Event &event) {
        if (event.kind != engine::Event::Kind::EndOfStream)
            return;
        {
            std::lock_guard lock(queue->mutex);
            queue->notices.push_back(event.id);
        }
        queue->ready.notify_one();
    });
}

std::optional<std::uint64_t> EndOfStreamWaiter::wait(std::chrono::milliseconds timeout)
{
    Queue &q = *queue_;
    std::unique_lock lock(q.mutex);
    if (!q.ready.wait_for(lock, timeout, [&q] { return !q.notices.empty(); }))
        return std::nullopt;
    const std::uint64_t generation = q.notices.front();
    q.notices.pop_front();
    return generation;
}

bool openFile(engine::Engine &engine, const std::string &path)
{
    engine.setFileName(path);
    waitUntil([&] { return engine.openState() != engine::Engine::OpenState::Opening; },
              std::chrono::seconds(10));
    return engine.openState() == engine::Engine::OpenState::Open;
}

bool isCurrentEnd(const engine::Engine &engine, std::uint64_t segment)
{
    return engine.isCurrent({engine::Event::Kind::EndOfStream, segment});
}

std::size_t Recording::frames() const
{
    return spec.channels > 0 ? samples.size() / static_cast<std::size_t>(spec.channels) : 0;
}

std::vector<float> Recording::channel(int index) const
{
    std::vector<float> out;
    if (index < 0 || index >= spec.channels)
        return out;
    out.reserve(frames());
    for (std::size_t at = static_cast<std::size_t>(index); at < samples.size();
         at += static_cast<std::size_t>(spec.channels))
        out.push_back(samples[at]);
    return out;
}

double Recording::seconds(std::size_t frameCount) const
{
    return spec.rate > 0 ? static_cast<double>(frameCount) / spec.rate : 0.0;
}

Recording record(const std::vector<std::string> &paths, const RecordOptions &options)
{
    using namespace std::chrono;
    Recording out;
    DiskCapture capture(options.speed);
    {
        engine::EngineOptions sdl = options.engine;
        sdl.output.output = engine::OutputChoice::Sdl;
        engine::Engine engine(sdl);
        EndOfStreamWaiter waiter;
        waiter.attach(engine);
        engine.setVolume(options.volume);
        bool ok = true;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const std::string &path = paths[i];
            // As the player does at each end-of-stream: the selection moves,
            // which names the file after it, then the file is set.
            if (options.hintNext)
                engine.setNextFileName(i + 1 < paths.size() ? paths[i + 1] : "");
            if (!openFile(engine, path)) {
                out.error = "cannot open " + path + ": " + engine.LastError();
                ok = false;
                break;
            }
            engine.Play();
            if (engine.PlayStatus() != PlayState::Playing) {
                out.error = "Play failed on " + path + ": " + engine.LastError();
                ok = false;
                break;
            }
            const auto deadline = steady_clock::now() + options.timeoutPerFile;
            bool ended = false;
            while (!ended && ok) {
                if (const auto generation = waiter.wait(milliseconds(50)))
                    ended = isCurrentEnd(engine, *generation);
                else if (steady_clock::now() > deadline)
                    out.error = "no end-of-stream for " + path, ok = false;
                else if (capture.bytesWritten() > maxCaptureBytes)
                    out.error = "output runs on without end-of-stream for " + path, ok = false;
            }
            if (!ok)
                break;
        }
        out.finished = ok;
        out.spec = engine.outputSpec();
        out.firstSampleLatencyNs = engine.firstSampleLatencyNs();
    } // the engine closes its device here, so the file is complete
    out.samples = capture.read(out.spec);
    return out;
}

std::vector<float> removeUnderruns(const std::vector<float> &x, std::size_t minFrames)
{
    std::vector<float> out;
    out.reserve(x.size());
    std::size_t zeros = 0;
    for (std::size_t i = 0; i <= x.size(); ++i) {
        if (i < x.size() && x[i] == 0.0f) {
            ++zeros;
            continue;
        }
        if (zeros > 0 && zeros < minFrames)
            out.insert(out.end(), zeros, 0.0f);
        zeros = 0;
        if (i < x.size())
            out.push_back(x[i]);
    }
    return out;
}

Span soundingSpan(const std::vector<float> &x, float threshold)
{
    const auto loud = [threshold](float v) { return std::fabs(v) > threshold; };
    const auto first = std::find_if(x.begin(), x.end(), loud);
    if (first == x.end())
        return {};
    const auto last = std::find_if(x.rbegin(), x.rend(), loud);
    return {static_cast<std::size_t>(first - x.begin()), static_cast<std::size_t>(x.rend() - last)};
}

Span middleOf(Span span, double fraction)
{
    const auto keep = static_cast<std::size_t>(static_cast<double>(span.size()) * fraction);
    const std::size_t begin = span.begin + (span.size() - keep) / 2;
    return {begin, begin + keep};
}

std::vector<Span> quietRuns(const std::vector<float> &x, Span span, float threshold)
{
    std::vector<Span> runs;
    std::size_t start = span.begin;
    bool quiet = false;
    for (std::size_t i = span.begin; i < span.end; ++i) {
        const bool q = std::fabs(x[i]) < threshold;
        if (q && !quiet)
            start = i;
        if (!q && quiet)
            runs.push_back({start, i});
        quiet = q;
    }
    if (quiet)
        runs.push_back({start, span.end});
    return runs;
}

double rmsDb(const std::vector<float> &x, Span span)
{
    if (span.size() == 0)
        return -std::numeric_limits<double>::infinity();
    double sum = 0;
    for (std::size_t i = span.begin; i < span.end; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return 10.0 * std::log10(sum / static_cast<double>(span.size()));
}

float peak(const std::vector<float> &x, Span span)
{
    float p = 0;
    for (std::size_t i = span.begin; i < span.end; ++i)
        p = std::max(p, std::fabs(x[i]));
    return p;
}

double zeroCrossingFrequency(const std::vector<float> &x, Span span, int rate)
{
    if (span.size() < 2 || rate <= 0)
        return 0;
    double mean = 0;
    for (std::size_t i = span.begin; i < span.end; ++i)
        mean += x[i];
    mean /= static_cast<double>(span.size());
    double first = -1, last = -1;
    std::size_t rising = 0;
    for (std::size_t i = span.begin + 1; i < span.end; ++i) {
        const double a = x[i - 1] - mean, b = x[i] - mean;
        if (a < 0 && b >= 0) {
            const double t = static_cast<double>(i - 1) + (-a) / (b - a);
            if (first < 0)
                first = t;
            last = t;
            ++rising;
        }
    }
    if (rising < 2 || last <= first)
        return 0;
    return static_cast<double>(rising - 1) * rate / (last - first);
}

double tonePurity(const std::vector<float> &x, Span span, int rate, double hz)
{
    if (rate <= 0 || hz <= 0)
        return 0;
    // A whole number of periods, so that a pure tone leaks nothing.
    const double perCycle = rate / hz;
    const auto cycles = std::floor(static_cast<double>(span.size()) / perCycle);
    const auto n = static_cast<std::size_t>(std::llround(cycles * perCycle));
    if (cycles < 1 || n == 0)
        return 0;
    const double w = 2 * std::numbers::pi * hz / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0, energy = 0;
    for (std::size_t i = span.begin; i < span.begin + n; ++i) {
        const double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += static_cast<double>(x[i]) * x[i];
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2; // |X(hz)|^2
    return energy > 0 ? 2 * power / (static_cast<double>(n) * energy) : 0;
}

AdvanceGaps advanceGaps(const Recording &rec, double fileSeconds, int advances, float quiet)
{
    AdvanceGaps out;
    out.seconds.assign(static_cast<std::size_t>(std::max(advances, 0)), 0.0);
    const std::vector<float> left = rec.channel(0);
    const Span sounding = soundingSpan(left, quiet);
    // Advance i falls after (i + 1) files of sound; silence there belongs to it.
    std::size_t inserted = 0;
    for (const Span &run : quietRuns(left, sounding, quiet)) {
        const double at = rec.seconds(run.begin - sounding.begin - inserted) / fileSeconds;
        const auto index = std::lround(at) - 1;
        if (index >= 0 && index < advances)
            out.seconds[static_cast<std::size_t>(index)] += rec.seconds(run.size());
        inserted += run.size();
    }
    out.heardSeconds = rec.seconds(sounding.size() - inserted);
    return out;
}

} // namespace tarn::test
