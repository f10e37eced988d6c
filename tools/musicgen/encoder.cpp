// libmp3lame wrapper for the soundtrack generator (see encoder.h).
// The LAME info frame (encoder delay and padding, which lets decoders trim
// the track to its exact length) is written back over the first frame once
// encoding is done.
#include "encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace musicgen {

bool encodeMp3(const Stereo& pcm, const std::string& path, const std::function<void(float)>& progress,
               std::string& error) {
  std::unique_ptr<lame_global_flags, int (*)(lame_global_flags*)> lame(lame_init(), lame_close);
  if (!lame) {
    error = "lame_init failed";
    return false;
  }
  lame_t gf = lame.get();
  lame_set_in_samplerate(gf, kRate);
  lame_set_out_samplerate(gf, kRate);
  lame_set_num_channels(gf, 2);
  lame_set_mode(gf, JOINT_STEREO);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, 192);
  lame_set_quality(gf, 5);  // good quality at a fraction of the -q 2 cost
  lame_set_bWriteVbrTag(gf, 1);
  lame_set_findReplayGain(gf, 0);
  lame_set_decode_on_the_fly(gf, 0);
  lame_set_copyright(gf, 0);
  lame_set_original(gf, 1);
  lame_set_error_protection(gf, 0);
  lame_set_strict_ISO(gf, 0);
  lame_set_disable_reservoir(gf, 0);
  // No ID3 tag at all: nothing time-dependent can enter the file.
  lame_set_write_id3tag_automatic(gf, 0);
  if (lame_init_params(gf) < 0) {
    error = "lame_init_params rejected the settings";
    return false;
  }

  const std::string tmp = path + ".part";
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(tmp.c_str(), "wb"), std::fclose);
  if (!file) {
    error = "cannot write " + tmp;
    return false;
  }
  const size_t chunk = 1152 * 16;
  std::vector<unsigned char> out(chunk * 5 / 4 + 7200);
  const size_t n = pcm.size();
  for (size_t at = 0; at < n; at += chunk) {
    int len = static_cast<int>(std::min(chunk, n - at));
    int bytes = lame_encode_buffer_ieee_float(gf, pcm.l.data() + at, pcm.r.data() + at, len, out.data(),
                                              static_cast<int>(out.size()));
    if (bytes < 0 || std::fwrite(out.data(), 1, bytes, file.get()) != static_cast<size_t>(bytes)) {
      error = "encoding failed";
      return false;
    }
    progress(static_cast<float>(at + len) / n);
  }
  int bytes = lame_encode_flush(gf, out.data(), static_cast<int>(out.size()));
  if (bytes < 0 || std::fwrite(out.data(), 1, bytes, file.get()) != static_cast<size_t>(bytes)) {
    error = "flushing the encoder failed";
    return false;
  }
  // Fill in the info frame that lame reserved at the start of the stream.
  size_t tagBytes = lame_get_lametag_frame(gf, out.data(), out.size());
  if (tagBytes > 0) {
    if (std::fseek(file.get(), 0, SEEK_SET) != 0 || std::fwrite(out.data(), 1, tagBytes, file.get()) != tagBytes) {
      error = "writing the info frame failed";
      return false;
    }
  }
  if (std::fclose(file.release()) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0) {
    error = "cannot finish " + path;
    return false;
  }
  return true;
}

}  // namespace musicgen
