// Any sequence of option sets (blocks, no data, negative sizes) against a
// map: each id keeps its own copy of the last block it was given, readable
// only into a buffer large enough for it; a refused read writes nothing.
#include <map>
#include <string>

#include "media/opt_param.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    opt_param *list = opt_param_create();
    std::map<uint32_t, std::string> model;
    for (size_t at = 0; at + 2 <= size;) {
        const uint32_t id = data[at] % 8;
        const bool no_data = data[at] & 8;
        int32_t n = static_cast<int8_t>(data[at + 1]);
        at += 2;
        if (n > static_cast<int32_t>(size - at)) n = static_cast<int32_t>(size - at);
        std::string block(reinterpret_cast<const char *>(data + at), n > 0 ? n : 0);
        const int set = opt_param_set(list, id, no_data ? nullptr : block.data(), n);
        for (char &c : block) c = static_cast<char>(~c);  // the list must not read the caller's block again
        FUZZ_CHECK(set == (no_data || n >= 0));
        if (no_data) model[id] = "";
        else if (n >= 0) model[id].assign(reinterpret_cast<const char *>(data + at), n), at += n;
        FUZZ_CHECK(list->param_num == static_cast<int32_t>(model.size()));
        for (uint32_t k = 0; k < 8; k++) {
            const auto it = model.find(k);
            const bool found = it != model.end();
            std::string got((found ? it->second.size() : 0) + 1, '?');
            const int32_t room = static_cast<int32_t>(got.size()) - 1;
            // Absent, or one byte short (for an empty block a negative capacity): refused, nothing written.
            FUZZ_CHECK(opt_param_get(list, k, &got[0], found ? room - 1 : room) == 0 &&
                       got == std::string(room + 1, '?'));
            if (found) FUZZ_CHECK(opt_param_get(list, k, &got[0], room) == 1 && got == it->second + '?');
        }
    }
    FUZZ_CHECK(opt_param_destroy(list) == 1);
    return 0;
}
