// A file swapped for a named pipe while it is being opened, as someone who
// can write to the music folder might do: every open reads the file it
// checked, so no reader waits for ever on a pipe nobody writes to (the
// player's exit would wait for that reader), and every read ends on a cancel.
//
// Without that the reads below block for good and the test hangs until
// CTest's timeout ends it.
#include "engine/decoder.h"
#include "engine/file_tags.h"
#include "engine/support/disk_output.h"
#include "engine/support/media_files.h"
#include "engine/support/output_checks.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tarn::test;
using tarn::engine::CancelToken;
using tarn::engine::Decoder;
using tarn::engine::FileTags;
using tarn::engine::readFileTags;

namespace {

// A file FFmpeg reads (the engine's own readers do not take WMA), so both
// the tag reader and the decoder open it through FFmpeg.
const std::string wmaFile = fixture("tone440_wmav1.wma");

// Reads the tags of, and opens for playing, whatever `path` is at the time,
// until the cancel. Returns how many reads found a playable file.
int readUntilCancelled(const std::string &path, const std::atomic<bool> &quit)
{
    const CancelToken cancel{nullptr, 0, &quit};
    int playable = 0;
    for (int round = 0; !quit.load(); ++round) {
        std::string error;
        if (round % 2 == 0)
            readFileTags(path, cancel);
        else
            playable += Decoder::open(path, {44100, 2}, cancel, error) != nullptr;
    }
    return playable;
}

// Guards: a check of the name followed by an open of the name: a pipe put
// there in between blocks the open.
void pipeSwappedInWhileOpening(Checks &checks, const TempDir &dir)
{
    const std::string path = dir.file("song.wma");
    const std::string real = dir.file("real.wma"), pipe = dir.file("pipe"), next = dir.file("next");
    std::filesystem::copy_file(wmaFile, real);
    if (!checks.expect(mkfifo(pipe.c_str(), 0600) == 0, "cannot make a named pipe"))
        return;
    std::filesystem::copy_file(real, path);
    std::atomic<bool> quit{false};
    int playable = 0;
    std::thread reader([&] { playable = readUntilCancelled(path, quit); });
    // The path is the file and the pipe by turns, each put there whole; the
    // file last.
    const auto put = [&](const std::string &what) {
        return ::link(what.c_str(), next.c_str()) == 0 &&
               std::rename(next.c_str(), path.c_str()) == 0;
    };
    for (int swap = 0; swap < 60000 && put(swap % 2 == 0 ? pipe : real); ++swap) {
    }
    checks.expect(put(real), "cannot put the file back");
    // A reader blocked on the pipe would never see this.
    quit.store(true);
    reader.join();
    checks.expect(playable > 0, "the file was never opened while it was there");
}

// Guards: the cancel not asked by the tag reader or by FFmpeg's open, and a
// named pipe at the path opened at all.
void refusedOrCancelled(Checks &checks, const TempDir &dir)
{
    const std::string pipe = dir.file("named_pipe.wma");
    if (!checks.expect(mkfifo(pipe.c_str(), 0600) == 0, "cannot make a named pipe"))
        return;
    const std::atomic<bool> cancelled{true}, running{false};
    struct Case {
        const char *name;
        std::string path;
        const std::atomic<bool> *quit;
        bool hasTags;
    };
    const Case cases[] = {
        {"an MP3 with ID3", fixture("tone440_cbr128_id3.mp3"), &running, true},
        {"an MP3 with ID3, cancelled", fixture("tone440_cbr128_id3.mp3"), &cancelled, false},
        {"a WMA, cancelled", wmaFile, &cancelled, false},
        {"a named pipe", pipe, &running, false},
    };
    for (const Case &c : cases) {
        const CancelToken cancel{nullptr, 0, c.quit};
        const FileTags tags = readFileTags(c.path, cancel);
        checks.expect((tags != FileTags{}) == c.hasTags,
                      fmt("%s: tags \"%s\"", c.name, tags.title.c_str()));
        std::string error;
        auto decoder = Decoder::open(c.path, {44100, 2}, cancel, error);
        checks.expect((decoder != nullptr) == (c.quit == &running && c.path != pipe),
                      fmt("%s: opened for playing: %s", c.name, error.c_str()));
    }
}

} // namespace

int main()
{
    Checks checks;
    TempDir dir;
    refusedOrCancelled(checks, dir);
    pipeSwappedInWhileOpening(checks, dir);
    return checks.exitCode();
}
