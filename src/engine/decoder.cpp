// Decoder::open(): the engine's own decoders for what they take, the codec
// module for everything else.
#include "engine/decoder.h"
#include "engine/codec_module.h"
#include "engine/content_kind.h"
#include "engine/mp3_decoder.h"
#include "engine/wav_decoder.h"

namespace tarn::engine {

std::unique_ptr<Decoder> Decoder::open(const std::string &path, AudioFormat format,
                                       CancelToken cancel, std::string &error)
{
    auto file = std::make_unique<FileReader>();
    if (!file->open(path, cancel, error))
        return nullptr;
    // A file the engine's own decoders do not take (another rate, a damaged
    // header, ...) still gets FFmpeg's chance: nothing plays worse for them.
    std::string nativeError;
    switch (sniffContent(*file)) {
    case ContentKind::Wav:
        if (auto d = WavDecoder::open(std::move(file), format, nativeError))
            return d;
        break;
    case ContentKind::Mpeg:
        if (auto d = Mp3Decoder::open(std::move(file), format, nativeError))
            return d;
        break;
    case ContentKind::Other:
        break;
    }
    if (cancel.cancelled()) {
        error = "opening the file was cancelled";
        return nullptr;
    }
    CodecModule *module = codecModule(error);
    return module ? module->openAudio(path, format, cancel, error) : nullptr;
}

} // namespace tarn::engine
