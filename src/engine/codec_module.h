// The FFmpeg side of the engine, in a module of its own (libtarn-ffmpeg.so)
// that the engine loads the first time a file needs it: files its own
// decoders do not take (WMA, AVI, WAV or MP3 at another rate than the
// output's, ...), pictures, and tags other than ID3. A player that only
// plays MP3 and WAV never maps FFmpeg. This header holds no FFmpeg type.
//
// The module is found as module_loader.h says; ModuleFiles::codec names
// another file.
//
// THREADS
//   codecModule() may be called from any thread: the module is loaded once
//   and never unloaded. Its members may be called from any thread; what they
//   return is used as decoder.h and PictureSource say.
#pragma once

#include "engine/cancel_token.h"
#include "engine/decoder.h"
#include "engine/file_tags.h"
#include "engine/video_sink.h"

#include <memory>
#include <string>

namespace tarn::engine {

// One open video file's picture stream: decoded pictures with their
// presentation times in seconds from the stream's start. Used by one thread
// at a time (the engine's video thread, opened on its decoder thread).
class PictureSource {
public:
    virtual ~PictureSource() = default;
    // The next picture, and its time; false at the end of the stream (or when
    // a read failed or was cancelled). After seek(t) the first picture is the
    // one showing at t.
    virtual bool next(double &time) = 0;
    // The next picture comes from `seconds`.
    virtual void seek(double seconds) = 0;
    virtual double frameDuration() const = 0;
    virtual double length() const = 0; // the container's figure
    // The picture's shape with its pixel aspect applied.
    virtual int displayWidth() const = 0;
    virtual int displayHeight() const = 0;
    // The last picture next() gave, converted to `format` into a buffer of
    // the source's own (valid until the next call); false when it cannot be.
    virtual bool convert(const VideoFormat &format, VideoFrame &picture) = 0;
};

class CodecModule {
public:
    // As Decoder::open(), for any file FFmpeg reads; resamples to `format`.
    virtual std::unique_ptr<Decoder> openAudio(const std::string &path, AudioFormat format,
                                               CancelToken cancel, std::string &error) = 0;
    // Opens the first moving-picture stream of `path` and decodes its first
    // picture; null with `error` set to the reason in words for people.
    virtual std::unique_ptr<PictureSource> openVideo(const std::string &path, CancelToken cancel,
                                                     std::string &error) = 0;
    // See readFileTags(); its reads end when `cancel` says so.
    virtual FileTags readTags(const std::string &path, CancelToken cancel) = 0;

protected:
    ~CodecModule() = default; // lives as long as the process
};

// The module, loaded on the first call; null with `error` set to the reason
// in words for people when it cannot be loaded.
CodecModule *codecModule(std::string &error);

// The entry point's name and the version of this interface: a module built
// from other sources refuses to serve.
inline constexpr const char *kCodecModuleEntry = "tarn_codec_module";
inline constexpr int kCodecModuleVersion = 2;

} // namespace tarn::engine

// The module's one exported function: its CodecModule, or null when
// `version` is not kCodecModuleVersion.
extern "C" tarn::engine::CodecModule *tarn_codec_module(int version);
