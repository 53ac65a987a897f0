#include "launcher/jar_file.h"

#include "core/text.h"
#include "launcher/digest.h"

#include <cstring>

/* ---------------------------------------------------------------------------
** DEFLATE (RFC 1951): stored, fixed and dynamic blocks, decoded bit by bit
** with canonical Huffman codes.
*/

static constexpr int MAX_CODE_BITS = 15;
static constexpr int LENGTH_SYMBOLS = 288;  /* literals, the end, lengths */
static constexpr int DISTANCE_SYMBOLS = 30; /* distances that a stream may use */
static constexpr int END_OF_BLOCK = 256;

static const unsigned short LENGTH_BASE[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                               15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                               67, 83, 99, 115, 131, 163, 195, 227, 258};
static const unsigned char LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const unsigned short DISTANCE_BASE[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const unsigned char DISTANCE_EXTRA[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

/* The order in which a dynamic block gives the lengths of its code-length code. */
static const unsigned char CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                    11, 4,  12, 3, 13, 2, 14, 1, 15};

namespace {

/* The stream, read from its lowest bit on.  Past its end it gives zeros and
** says so: every loop that takes bits looks at overrun. */
struct BitInput {
    const unsigned char *data;
    std::size_t size;
    std::size_t at;
    unsigned long bits;
    int count;
    bool overrun;

    unsigned take(int wanted) {
        while (count < wanted) {
            if (at >= size) {
                overrun = true;
                return 0;
            }
            bits |= static_cast<unsigned long>(data[at++]) << count;
            count += 8;
        }
        unsigned value = static_cast<unsigned>(bits & ((1UL << wanted) - 1));
        bits >>= wanted;
        count -= wanted;
        return value;
    }
};

/* A canonical Huffman code: how many codes each length has, and the
** symbols in the order of their codes. */
struct HuffmanCode {
    unsigned short counts[MAX_CODE_BITS + 1];
    unsigned short symbols[LENGTH_SYMBOLS];
};

} // namespace

/* The code of n symbols with the given lengths (0: unused).  An incomplete
** code is taken (a code that is never met decodes to nothing); one with
** more codes than its lengths allow is not. */
static bool buildCode(HuffmanCode *code, const unsigned char *lengths, int n) {
    std::memset(code->counts, 0, sizeof code->counts);
    for (int symbol = 0; symbol < n; ++symbol) ++code->counts[lengths[symbol]];
    int left = 1;
    for (int length = 1; length <= MAX_CODE_BITS; ++length) {
        left = 2 * left - code->counts[length];
        if (left < 0) return false;
    }
    unsigned short next[MAX_CODE_BITS + 1] = {0};
    for (int length = 1; length < MAX_CODE_BITS; ++length)
        next[length + 1] = static_cast<unsigned short>(next[length] + code->counts[length]);
    for (int symbol = 0; symbol < n; ++symbol)
        if (lengths[symbol] != 0)
            code->symbols[next[lengths[symbol]]++] = static_cast<unsigned short>(symbol);
    return true;
}

/* The next symbol, or -1 when no code of the stream's bits exists. */
static int decodeSymbol(BitInput *in, const HuffmanCode &code) {
    int value = 0, first = 0, index = 0;
    for (int length = 1; length <= MAX_CODE_BITS; ++length) {
        value |= static_cast<int>(in->take(1));
        int count = code.counts[length];
        if (value - first < count) return code.symbols[index + value - first];
        index += count;
        first = (first + count) << 1;
        value <<= 1;
    }
    return -1;
}

/* A stored block: from the next byte on, its length, the length's
** complement, and the bytes. */
static bool copyStored(BitInput *in, std::size_t limit, std::string *out) {
    in->bits = 0;
    in->count = 0;
    if (in->size - in->at < 4) return false;
    const unsigned char *p = in->data + in->at;
    std::size_t length = p[0] | (p[1] << 8);
    if (length != (~(p[2] | (p[3] << 8)) & 0xFFFFu)) return false;
    in->at += 4;
    if (in->size - in->at < length || limit - out->size() < length) return false;
    out->append(reinterpret_cast<const char *>(in->data + in->at), length);
    in->at += length;
    return true;
}

/* The symbols of one block, up to its end; a copy reaches back no further
** than what was decoded. */
static bool decodeBlock(BitInput *in, const HuffmanCode &lengths, const HuffmanCode &distances,
                        std::size_t limit, std::string *out) {
    for (;;) {
        int symbol = decodeSymbol(in, lengths);
        if (symbol < 0 || in->overrun) return false;
        if (symbol == END_OF_BLOCK) return true;
        if (symbol < END_OF_BLOCK) {
            if (out->size() >= limit) return false;
            out->push_back(static_cast<char>(symbol));
            continue;
        }
        symbol -= END_OF_BLOCK + 1;
        if (symbol >= 29) return false;
        std::size_t length = LENGTH_BASE[symbol] + in->take(LENGTH_EXTRA[symbol]);
        int code = decodeSymbol(in, distances);
        if (code < 0 || code >= DISTANCE_SYMBOLS) return false;
        std::size_t distance = DISTANCE_BASE[code] + in->take(DISTANCE_EXTRA[code]);
        if (in->overrun || distance > out->size() || limit - out->size() < length) return false;
        for (std::size_t i = 0; i < length; ++i) {
            char copied = (*out)[out->size() - distance];
            out->push_back(copied);
        }
    }
}

/* The codes of a fixed block, as RFC 1951 gives them. */
static void fixedCodes(HuffmanCode *lengths, HuffmanCode *distances) {
    unsigned char bits[LENGTH_SYMBOLS];
    for (int symbol = 0; symbol < LENGTH_SYMBOLS; ++symbol)
        bits[symbol] = symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
    buildCode(lengths, bits, LENGTH_SYMBOLS);
    std::memset(bits, 5, DISTANCE_SYMBOLS);
    buildCode(distances, bits, DISTANCE_SYMBOLS);
}

/* The codes a dynamic block gives at its start: the lengths of its
** code-length code, then the code lengths of both codes in that code. */
static bool dynamicCodes(BitInput *in, HuffmanCode *lengthCode, HuffmanCode *distanceCode) {
    int lengthCount = static_cast<int>(in->take(5)) + 257;
    int distanceCount = static_cast<int>(in->take(5)) + 1;
    int codeLengthCount = static_cast<int>(in->take(4)) + 4;
    if (lengthCount > 286 || distanceCount > DISTANCE_SYMBOLS) return false;
    unsigned char lengths[LENGTH_SYMBOLS + DISTANCE_SYMBOLS] = {0};
    for (int i = 0; i < codeLengthCount; ++i)
        lengths[CODE_LENGTH_ORDER[i]] = static_cast<unsigned char>(in->take(3));
    HuffmanCode codeLengths;
    if (!buildCode(&codeLengths, lengths, 19)) return false;
    int total = lengthCount + distanceCount;
    for (int filled = 0; filled < total;) {
        int symbol = decodeSymbol(in, codeLengths);
        if (symbol < 0 || in->overrun) return false;
        if (symbol < 16) {
            lengths[filled++] = static_cast<unsigned char>(symbol);
            continue;
        }
        if (symbol == 16 && filled == 0) return false;
        unsigned char repeated = symbol == 16 ? lengths[filled - 1] : 0;
        int times = symbol == 16   ? 3 + static_cast<int>(in->take(2))
                    : symbol == 17 ? 3 + static_cast<int>(in->take(3))
                                   : 11 + static_cast<int>(in->take(7));
        if (times > total - filled) return false;
        while (times-- > 0) lengths[filled++] = repeated;
    }
    return lengths[END_OF_BLOCK] != 0 && buildCode(lengthCode, lengths, lengthCount) &&
           buildCode(distanceCode, lengths + lengthCount, distanceCount);
}

bool inflateData(const std::string &data, std::size_t limit, std::string *out) {
    BitInput in = {
        reinterpret_cast<const unsigned char *>(data.data()), data.size(), 0, 0, 0, false};
    out->clear();
    HuffmanCode lengths, distances;
    for (bool last = false; !last;) {
        last = in.take(1) != 0;
        unsigned type = in.take(2);
        bool decoded = false;
        if (type == 0) {
            decoded = copyStored(&in, limit, out);
        } else if (type == 1) {
            fixedCodes(&lengths, &distances);
            decoded = decodeBlock(&in, lengths, distances, limit, out);
        } else if (type == 2) {
            decoded = dynamicCodes(&in, &lengths, &distances) &&
                      decodeBlock(&in, lengths, distances, limit, out);
        }
        if (!decoded || in.overrun) return false;
    }
    return true;
}

/* ---------------------------------------------------------------------------
** The zip file (PKWARE's APPNOTE): the end record, the central directory,
** the manifest's entry.
*/

static constexpr unsigned long END_SIGNATURE = 0x06054b50;
static constexpr std::size_t END_SIZE = 22;
static constexpr std::size_t COMMENT_LIMIT = 65535;
static constexpr unsigned long ZIP64_LOCATOR_SIGNATURE = 0x07064b50;
static constexpr std::size_t ZIP64_LOCATOR_SIZE = 20;
static constexpr unsigned long ZIP64_END_SIGNATURE = 0x06064b50;
static constexpr std::size_t ZIP64_END_SIZE = 56;
static constexpr unsigned long ENTRY_SIGNATURE = 0x02014b50;
static constexpr std::size_t ENTRY_SIZE = 46;
static constexpr unsigned long LOCAL_SIGNATURE = 0x04034b50;
static constexpr std::size_t LOCAL_SIZE = 30;
static constexpr unsigned long long TOO_LARGE_32 = 0xFFFFFFFFu;
static constexpr unsigned STORED = 0;
static constexpr unsigned DEFLATED = 8;
static const char MANIFEST_NAME[] = "META-INF/MANIFEST.MF";

/* The little-endian number of width bytes at at; the caller has checked
** that they lie within bytes. */
static unsigned long long littleEndian(const std::string &bytes, std::size_t at, int width) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes.data()) + at;
    unsigned long long value = 0;
    while (width-- > 0) value = (value << 8) | p[width];
    return value;
}

namespace {

/* Where the central directory is: its size, where it starts in the file,
** and how far the zip's own offsets are from the file's (a jar may follow
** a start script). */
struct Directory {
    unsigned long long size;
    unsigned long long position;
    unsigned long long shift;
};

/* The manifest's entry, as the central directory gives it. */
struct ManifestEntry {
    bool found;
    unsigned method;
    unsigned long long packedSize;
    unsigned long long size;
    unsigned long long offset;
};

} // namespace

/* The end record in tail, the last bytes of the file: the last signature
** whose comment reaches exactly to the end. */
static bool findEnd(const std::string &tail, std::size_t *end) {
    if (tail.size() < END_SIZE) return false;
    for (std::size_t at = tail.size() - END_SIZE + 1; at-- > 0;) {
        if (littleEndian(tail, at, 4) == END_SIGNATURE &&
            at + END_SIZE + littleEndian(tail, at + 20, 2) == tail.size()) {
            *end = at;
            return true;
        }
    }
    return false;
}

/* The directory the end record at end of tail (which starts at tailStart)
** names; a zip64 end record, where one is found as Java's reader finds it,
** gives the sizes and offsets that do not fit the plain one. */
static bool locateDirectory(JarReader read, void *source, const std::string &tail,
                            unsigned long long tailStart, std::size_t end, Directory *where) {
    unsigned long long size = littleEndian(tail, end + 12, 4);
    unsigned long long offset = littleEndian(tail, end + 16, 4);
    unsigned long long endAt = tailStart + end;
    bool large = littleEndian(tail, end + 10, 2) == 0xFFFF || size == TOO_LARGE_32 ||
                 offset == TOO_LARGE_32;
    std::string record;
    if (large && end >= ZIP64_LOCATOR_SIZE &&
        littleEndian(tail, end - ZIP64_LOCATOR_SIZE, 4) == ZIP64_LOCATOR_SIGNATURE) {
        unsigned long long at = littleEndian(tail, end - ZIP64_LOCATOR_SIZE + 8, 8);
        if (at < endAt && read(source, at, ZIP64_END_SIZE, &record) &&
            littleEndian(record, 0, 4) == ZIP64_END_SIGNATURE) {
            size = littleEndian(record, 40, 8);
            offset = littleEndian(record, 48, 8);
            endAt = at;
        }
    }
    if (size > endAt || endAt - size < offset) return false;
    *where = Directory{size, endAt - size, endAt - size - offset};
    return true;
}

/* True for the manifest's name, in any letter case, as Java's reader takes it. */
static bool isManifestName(const char *name, std::size_t length) {
    return length == sizeof MANIFEST_NAME - 1 && startsWithIgnoringCase(name, MANIFEST_NAME);
}

/* Digests every entry of the directory (its name, CRC-32 and sizes, and
** its extra fields, which hold the sizes that do not fit 32 bits) and finds
** the manifest.  False unless the entries fill the directory exactly.  A
** manifest whose sizes or offset do not fit 32 bits is not read: its fields
** say TOO_LARGE_32, more than MANIFEST_LIMIT. */
static bool readEntries(const std::string &directory, JarIndex *index, ManifestEntry *manifest) {
    unsigned long long hash = FNV_OFFSET, count = 0;
    std::size_t at = 0;
    for (; at < directory.size(); ++count) {
        if (directory.size() - at < ENTRY_SIZE || littleEndian(directory, at, 4) != ENTRY_SIGNATURE)
            return false;
        std::size_t nameLength = littleEndian(directory, at + 28, 2);
        std::size_t extraLength = littleEndian(directory, at + 30, 2);
        std::size_t whole =
            ENTRY_SIZE + nameLength + extraLength + littleEndian(directory, at + 32, 2);
        if (directory.size() - at < whole) return false;
        const char *name = directory.data() + at + ENTRY_SIZE;
        unsigned long long packed = littleEndian(directory, at + 20, 4);
        unsigned long long size = littleEndian(directory, at + 24, 4);
        const char *extra = name + nameLength;
        hash = mixBytes(mixBytes(hash, name, nameLength), directory.data() + at + 16, 12);
        if (packed == TOO_LARGE_32 || size == TOO_LARGE_32)
            hash = mixBytes(hash, extra, extraLength);
        if (!manifest->found && isManifestName(name, nameLength))
            *manifest = ManifestEntry{true,
                                      static_cast<unsigned>(littleEndian(directory, at + 10, 2)),
                                      packed, size, littleEndian(directory, at + 42, 4)};
        at += whole;
    }
    index->digest = mixNumber(hash, count);
    return true;
}

/* The manifest's text: its local header gives where its bytes begin. */
static bool readManifest(JarReader read, void *source, unsigned long long size,
                         const ManifestEntry &entry, std::string *text) {
    std::string header, packed;
    if (entry.offset > size || size - entry.offset < LOCAL_SIZE ||
        !read(source, entry.offset, LOCAL_SIZE, &header) ||
        littleEndian(header, 0, 4) != LOCAL_SIGNATURE)
        return false;
    unsigned long long data =
        entry.offset + LOCAL_SIZE + littleEndian(header, 26, 2) + littleEndian(header, 28, 2);
    if (data > size || size - data < entry.packedSize ||
        !read(source, data, static_cast<std::size_t>(entry.packedSize), &packed))
        return false;
    if (entry.method == DEFLATED) return inflateData(packed, MANIFEST_LIMIT, text);
    *text = packed;
    return true;
}

bool readJarIndex(JarReader read, void *source, unsigned long long size, bool withManifest,
                  JarIndex *index, const char **why) {
    std::size_t tailSize =
        static_cast<std::size_t>(size < END_SIZE + COMMENT_LIMIT ? size : END_SIZE + COMMENT_LIMIT);
    std::string tail, directory, manifest;
    std::size_t end = 0;
    Directory where;
    *why = "cannot be read as a zip file";
    if (!read(source, size - tailSize, tailSize, &tail) || !findEnd(tail, &end) ||
        !locateDirectory(read, source, tail, size - tailSize, end, &where))
        return false;
    if (where.size > CENTRAL_DIRECTORY_LIMIT) {
        *why = "has a central directory over 16 MiB";
        return false;
    }
    std::size_t length = static_cast<std::size_t>(where.size);
    if (where.position >= size - tailSize)
        directory =
            tail.substr(static_cast<std::size_t>(where.position - (size - tailSize)), length);
    else if (!read(source, where.position, length, &directory))
        return false;
    ManifestEntry entry = {false, 0, 0, 0, 0};
    if (!readEntries(directory, index, &entry)) return false;
    index->classPath.clear();
    if (!withManifest || !entry.found) return true;
    entry.offset += where.shift;
    *why = "has a manifest that is over 1 MiB or cannot be read";
    if (entry.packedSize > MANIFEST_LIMIT || entry.size > MANIFEST_LIMIT ||
        (entry.method != STORED && entry.method != DEFLATED) ||
        !readManifest(read, source, size, entry, &manifest))
        return false;
    index->classPath = manifestClassPath(manifest);
    return true;
}

/* ---------------------------------------------------------------------------
** The manifest's main section.
*/

/* Lines end with CR LF, LF or CR; one that begins with a blank goes on the
** line before; the first empty line ends the main section. */
std::string manifestClassPath(const std::string &manifest) {
    static const char NAME[] = "class-path:";
    std::string text = "\n"; /* the main section's lines, each after a line feed */
    for (std::size_t at = 0; at < manifest.size(); ++at) {
        char c = manifest[at];
        if (c != '\r' && c != '\n') {
            text += c;
            continue;
        }
        if (c == '\r' && manifest.compare(at, 2, "\r\n") == 0) ++at;
        if (manifest.compare(at + 1, 1, " ") == 0) {
            ++at;
        } else if (text.back() == '\n') {
            break;
        } else {
            text += '\n';
        }
    }
    for (std::size_t line = 0; line + 1 < text.size(); line = text.find('\n', line + 1)) {
        if (line == std::string::npos) break;
        if (!startsWithIgnoringCase(text.c_str() + line + 1, NAME)) continue;
        std::size_t first = text.find_first_not_of(' ', line + sizeof NAME);
        std::size_t end = text.find('\n', line + 1);
        if (first >= end) return std::string();
        return text.substr(first, end == std::string::npos ? end : end - first);
    }
    return std::string();
}
