// RunLength decoding as a resumable stage.
#include "decode/run_length.h"

#include <cstring>

namespace {

constexpr uint8_t EndOfData = 128;
constexpr uint32_t RepeatBase = 257;  // a length byte n from 129 up repeats 257 - n times

size_t Least(size_t a, size_t b) { return a < b ? a : b; }

}  // namespace

void StartRunLength(RunLengthStage& stage) { stage = RunLengthStage{}; }

Status RunRunLength(RunLengthStage& stage, Window& window, bool inputEnds) {
    if (stage.ended) return Status::End;
    const uint8_t* in = window.nextIn;
    const uint8_t* const inEnd = in + window.availIn;
    uint8_t* out = window.nextOut;
    uint8_t* const outEnd = out + window.availOut;
    Status status = Status::Ok;
    for (;;) {
        if (stage.repeatLeft != 0) {
            const size_t count = Least(stage.repeatLeft, static_cast<size_t>(outEnd - out));
            std::memset(out, stage.repeated, count);
            out += count;
            stage.repeatLeft -= static_cast<uint32_t>(count);
            if (stage.repeatLeft != 0) break;
        }
        if (stage.literalLeft != 0) {
            const size_t count = Least(Least(stage.literalLeft, static_cast<size_t>(inEnd - in)),
                                       static_cast<size_t>(outEnd - out));
            std::memcpy(out, in, count);
            out += count;
            in += count;
            stage.literalLeft -= static_cast<uint32_t>(count);
            if (stage.literalLeft != 0) {
                // A literal run longer than what is left gives what is left.
                if (in == inEnd && inputEnds) {
                    stage.ended = true;
                    status = Status::End;
                }
                break;
            }
        }
        if (stage.lengthByte == 0) {
            if (in == inEnd) {
                if (inputEnds) {
                    stage.ended = true;
                    status = Status::End;
                }
                break;
            }
            const uint8_t lengthByte = *in++;
            if (lengthByte == EndOfData) {
                stage.ended = true;
                status = Status::End;
                break;
            }
            if (lengthByte < EndOfData) {
                stage.literalLeft = lengthByte + 1u;
                continue;
            }
            stage.lengthByte = lengthByte;
        }
        if (in == inEnd) {
            if (inputEnds) status = Status::InvalidData;
            break;
        }
        stage.repeated = *in++;
        stage.repeatLeft = RepeatBase - stage.lengthByte;
        stage.lengthByte = 0;
    }
    MoveWindow(window, in, out);
    return status;
}
