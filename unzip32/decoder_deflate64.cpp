#include "decoder_methods.h"

namespace nocunzip::unzip32 {

std::unique_ptr<Decoder> MakeDeflate64Decoder(const DecoderParams& /*params*/) { return nullptr; }

}  // namespace nocunzip::unzip32
