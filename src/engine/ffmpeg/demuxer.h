// Opening a media file's container, shared by the audio decoder and the
// video decoder. Each decoder opens the file for itself and reads only its
// own stream, so neither waits for the other's reads or seeks.
//
// THREADS
//   Called on the thread that will read the file (the engine's decoder
//   thread). Reads can be cancelled from any thread through the CancelToken.
#pragma once

#include "engine/cancel_token.h"
#include "engine/ffmpeg/ffmpeg_ptr.h"

#include <cstdint>
#include <string>

namespace tarn::engine {

// Opens `path` and reads its header (and with it the container's tags).
// Only regular, non-empty files, checked on the open file (see
// openMediaFile): a named pipe or a device would block for as long as nothing
// writes to it. Every read, the open's included, ends when `cancel` says so;
// it must outlive the returned context. `kind` ("sound", "video") names what
// the caller looks for in the reasons. On failure returns null with `error`
// set to the reason in words for people; `size` gets the file's size when
// known (0 otherwise).
FormatContextPtr openInput(const std::string &path, const CancelToken &cancel, const char *kind,
                           std::string &error, std::uintmax_t &size);
// As openInput(), and reads the stream information too.
FormatContextPtr openContainer(const std::string &path, const CancelToken &cancel, const char *kind,
                               std::string &error, std::uintmax_t &size);

// A decoder for stream `stream` alone (every other stream of `format` is
// skipped from now on), on one thread: the files this player decodes need no
// more. On failure returns null with `error` set; `kind` as above.
CodecContextPtr openStreamDecoder(AVFormatContext &format, int stream, const AVCodec *codec,
                                  const char *kind, std::string &error);

// The packet and frame a decoding loop reuses; false with `error` set when
// there is no memory for them.
bool allocatePacketAndFrame(PacketPtr &packet, FramePtr &frame, std::string &error);

// The next frame of stream `stream` into `frame`: reads packets and hands
// them to `codec` until it gives one. When a read fails (the end of the file,
// a read error, a cancel), `readEnd` gets its code and the decoder gives out
// what it holds (`draining`). False once the decoder is empty, after
// `maxErrors` damaged packets or frames in a row, or after `maxPackets` reads
// without a frame (0: no limit).
bool decodeFrame(AVFormatContext &format, AVCodecContext &codec, AVPacket &packet, AVFrame &frame,
                 int stream, bool &draining, int &readEnd, int maxErrors, int maxPackets = 0);

// The first picture stream that is a moving picture (not a cover image), or
// -1 when there is none.
int findVideoStream(const AVFormatContext &format);

} // namespace tarn::engine
