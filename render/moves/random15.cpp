#include "render/moves/random15.h"

namespace render {

uint32_t random15State = 1;

int32_t random15() {
    // Unsigned arithmetic wraps modulo 2^32, which is the generator's modulus.
    random15State = random15State * 214013u + 2531011u;
    return int32_t((random15State >> 16) & 0x7FFFu);
}

}  // namespace render
