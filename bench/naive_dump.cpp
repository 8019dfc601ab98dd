// The reference loop that kesta-decode's speed is measured against (decode_ratio
// runs both): a copy of the naive dump loop, kept as it is on purpose. One read
// loop that deframes KISS (with its escapes), writes one hex line per frame
// through stdio and touches a few fields of HTRX and FSS frames. No durability,
// no checks. Use: naive_dump LOG OUT.dmp
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: naive_dump LOG OUT.dmp\n");
        return 2;
    }
    static const char *hex = "0123456789ABCDEF";
    FILE *in = std::fopen(argv[1], "rb");
    FILE *out = std::fopen(argv[2], "wb");
    if (!in || !out) {
        std::perror("naive_dump");
        return 1;
    }
    std::setvbuf(out, nullptr, _IOFBF, 1 << 20);
    std::vector<std::uint8_t> block(1 << 20);
    std::uint8_t frame[512];
    int len = 0;
    bool inFrame = false, escape = false;
    long frames = 0;
    double sum = 0;
    std::string line, kind, light;
    std::size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), in)) > 0) {
        for (std::size_t i = 0; i < n; i++) {
            const std::uint8_t b = block[i];
            if (b == 0xC0) {
                escape = false;
                if (len == 0) {
                    inFrame = true;
                    continue;
                }
                if (len >= 3) {
                    line.resize(len * 2 + 2);
                    char *p = line.data();
                    for (int k = 0; k < len; k++) {
                        *p++ = hex[frame[k] >> 4];
                        *p++ = hex[frame[k] & 15];
                    }
                    *p++ = '\r';
                    *p++ = '\n';
                    std::fwrite(line.data(), 1, line.size(), out);
                    if (len > 21 && frame[17] == 1) {
                        kind = "HTRX Telemetry";
                        sum += 32.946 - 0.289 * frame[21];
                    } else if (len > 84 && frame[17] == 2) {
                        kind = "FSS Telemetry (normal)";
                        light.resize(128);
                        char *q = light.data();
                        for (int k = 20; k < 84; k++) {
                            *q++ = hex[frame[k] >> 4];
                            *q++ = hex[frame[k] & 15];
                        }
                    }
                    frames++;
                }
                len = 0;
                inFrame = false;
                continue;
            }
            if (!inFrame)
                continue;
            if (escape) {
                escape = false;
                if (b == 0xDC) { frame[len - 1] = 0xC0; continue; }
                if (b == 0xDD) { frame[len - 1] = 0xDB; continue; }
            }
            if (b == 0xDB)
                escape = true;
            if (len < 512)
                frame[len++] = b;
        }
    }
    std::fclose(out);
    std::fclose(in);
    std::printf("%ld frames (%f)\n", frames, sum);
    return 0;
}
