// Module xfade: the cross-fade that mixes the old frame into the new one while
// the viewer changes page.
#pragma once

#include <cstdint>

// Per colour byte: max(old - L, 0) + max(new - (255 - L), 0), written over the
// new frame in destination; level L is limited to 0..255 (0 = old frame only,
// 255 = new frame only). The plain loop (MMX flag 0) computes the second term
// as max(new + L - 256, 0), one level darker. Nothing when count <= 0.
void CrossFade(uint32_t *destination, const uint32_t *oldFrame, int32_t level, int32_t count);
