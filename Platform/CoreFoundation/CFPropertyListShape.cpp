#include "CFPropertyListShape.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

// ---- XML: the nesting of <array> and <dict> elements, skipped over as libplist skips them ----

class XMLNesting {
public:
    explicit XMLNesting(std::string_view text) : mText(text) {}

    // The deepest nesting of containers, counting only real tags: comments, CDATA sections,
    // processing instructions, the document type and double-quoted attribute values hide theirs.
    int Deepest()
    {
        int depth = 0, deepest = 0;
        for (size_t at = mText.find('<'); at != std::string_view::npos; at = mText.find('<', at)) {
            if (Opens(at, "<!--")) {
                at = After(at, "-->");
            } else if (Opens(at, "<![CDATA[")) {
                at = After(at, "]]>");
            } else if (Opens(at, "<?")) {
                at = After(at, "?>");
            } else if (Opens(at, "<!")) {
                at = AfterTag(at, true);
            } else {
                const bool closing = Opens(at, "</");
                const size_t end = AfterTag(at, false);
                const std::string_view name = mText.substr(at + (closing ? 2 : 1), 6);
                const bool container = Names(name, "array") || Names(name, "dict");
                const bool empty = end != std::string_view::npos && mText[end - 2] == '/';
                if (container && closing) {
                    --depth;
                } else if (container && !empty) {
                    deepest = std::max(deepest, ++depth);
                }
                at = end;
            }
        }
        return deepest;
    }

private:
    bool Opens(size_t at, std::string_view start) const
    {
        return mText.compare(at, start.size(), start) == 0;
    }

    // Whether a tag name starts with word and ends right after it.
    static bool Names(std::string_view name, std::string_view word)
    {
        if (name.compare(0, word.size(), word) != 0) {
            return false;
        }
        if (name.size() == word.size()) {
            return true;
        }
        const char next = name[word.size()];
        return !(std::isalnum(static_cast<unsigned char>(next)) || next == '_' || next == '-' ||
                 next == ':' || next == '.');
    }

    size_t After(size_t at, std::string_view end) const
    {
        const size_t found = mText.find(end, at);
        return found == std::string_view::npos ? found : found + end.size();
    }

    // The position after the '>' that closes a tag, past double-quoted values (and, in a document
    // type, its bracketed internal subset).
    size_t AfterTag(size_t at, bool declaration) const
    {
        bool quoted = false;
        int brackets = 0;
        for (size_t i = at + 1; i < mText.size(); ++i) {
            const char c = mText[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && declaration && (c == '[' || c == ']')) {
                brackets += c == '[' ? 1 : -1;
            } else if (!quoted && brackets <= 0 && c == '>') {
                return i + 1;
            }
        }
        return std::string_view::npos;
    }

    std::string_view mText;
};

// ---- Binary: depth and expanded size over the object table, each object measured once ----

class BinaryShape {
public:
    BinaryShape(const uint8_t* bytes, size_t length, int maxLevels, size_t maxNodes)
        : mBytes(bytes), mLength(length), mMaxLevels(maxLevels), mMaxNodes(maxNodes)
    {
    }

    bool Check(std::string& problem)
    {
        constexpr size_t kHeader = 8, kTrailer = 32;
        if (mLength < kHeader + kTrailer) {
            return true;
        }
        const uint8_t* trailer = mBytes + mLength - kTrailer;
        mOffsetSize = trailer[6];
        mRefSize = trailer[7];
        const uint64_t objects = BigEndian(trailer + 8, 8);
        const uint64_t top = BigEndian(trailer + 16, 8);
        mTableOffset = BigEndian(trailer + 24, 8);
        const bool sizesUsable = mOffsetSize >= 1 && mOffsetSize <= 8 && mRefSize >= 1 &&
                                 mRefSize <= 8 && objects <= mLength && top < objects &&
                                 mTableOffset < mLength &&
                                 objects * mOffsetSize <= mLength - mTableOffset;
        if (!sizesUsable) {
            return true;
        }
        mMeasured.assign(static_cast<size_t>(objects), Measure{});
        mHoldsZero.assign(static_cast<size_t>(objects), 0);
        mMaxNodes = std::max<uint64_t>(mMaxNodes, objects);
        const Measure whole = Visit(top, 1);
        if (whole.height > uint64_t(mMaxLevels)) {
            problem = "the property list is nested too deeply (or contains itself)";
            return false;
        }
        if (whole.nodes > mMaxNodes) {
            problem = "the property list expands to too many values";
            return false;
        }
        if (mKeyWithZero) {
            problem = "a dictionary key contains a zero character";
            return false;
        }
        return true;
    }

private:
    struct Measure {
        uint64_t height = 0; // 0 while unmeasured
        uint64_t nodes = 0;
        bool visiting = false;
    };

    uint64_t BigEndian(const uint8_t* at, size_t size) const
    {
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i) {
            value = value << 8 | at[i];
        }
        return value;
    }

    bool Readable(uint64_t at, uint64_t size) const
    {
        return at <= mLength && size <= mLength - at;
    }

    // An object's kind (the high half of its marker), its count of elements (bytes, characters
    // or references) and where they start; false when the header lies outside the data.
    bool Header(uint64_t object, uint8_t& kind, uint64_t& count, uint64_t& content) const
    {
        const uint64_t offset =
            BigEndian(mBytes + mTableOffset + object * mOffsetSize, mOffsetSize);
        if (!Readable(offset, 1)) {
            return false;
        }
        kind = mBytes[offset] >> 4;
        count = mBytes[offset] & 0x0F;
        content = offset + 1;
        if (count == 0x0F) {
            if (!Readable(content, 1) || (mBytes[content] >> 4) != 0x1) {
                return false;
            }
            const uint64_t size = uint64_t(1) << (mBytes[content] & 0x0F);
            if (size > 8 || !Readable(content + 1, size)) {
                return false;
            }
            count = BigEndian(mBytes + content + 1, size);
            content += 1 + size;
        }
        return count <= mLength;
    }

    // Whether a string object holds a zero character: libplist aborts on reading such a key.
    // Each object is looked at once, however many dictionaries use it as a key.
    bool HoldsZero(uint64_t object)
    {
        uint8_t& known = mHoldsZero[static_cast<size_t>(object)];
        if (known == 0) {
            known = ScanForZero(object) ? 2 : 1;
        }
        return known == 2;
    }

    bool ScanForZero(uint64_t object) const
    {
        uint8_t kind = 0;
        uint64_t count = 0, content = 0;
        if (!Header(object, kind, count, content) || (kind != 0x5 && kind != 0x6)) {
            return false;
        }
        const uint64_t unit = kind == 0x6 ? 2 : 1;
        if (!Readable(content, count * unit)) {
            return false;
        }
        for (uint64_t i = 0; i < count; ++i) {
            const uint8_t* character = mBytes + content + i * unit;
            if (character[0] == 0 && character[unit - 1] == 0) {
                return true;
            }
        }
        return false;
    }

    // Height and expanded node count of one object, saturated once past the limits.
    Measure Visit(uint64_t object, int depth)
    {
        Measure& measure = mMeasured[static_cast<size_t>(object)];
        if (measure.height != 0) {
            return measure;
        }
        const uint64_t tooDeep = uint64_t(mMaxLevels) + 1;
        if (measure.visiting || depth > mMaxLevels) {
            return Measure{tooDeep, 1, false};
        }
        uint8_t kind = 0;
        uint64_t count = 0, refs = 0;
        Measure result{1, 1, false};
        if (Header(object, kind, count, refs) && IsContainer(kind) &&
            Readable(refs, (kind == 0xD ? 2 : 1) * count * mRefSize)) {
            const uint64_t keys = kind == 0xD ? count : 0;
            measure.visiting = true;
            for (uint64_t i = 0; i < keys + count && result.height < tooDeep; ++i) {
                const uint64_t child = BigEndian(mBytes + refs + i * mRefSize, mRefSize);
                if (child >= mMeasured.size()) {
                    continue;
                }
                mKeyWithZero = mKeyWithZero || (i < keys && HoldsZero(child));
                const Measure inner = Visit(child, depth + 1);
                result.height = std::max(result.height, inner.height + 1);
                result.nodes = std::min<uint64_t>(result.nodes + inner.nodes, mMaxNodes + 1);
            }
            measure.visiting = false;
        }
        result.height = std::min(result.height, tooDeep);
        if (result.height < tooDeep) {
            measure = result;
        }
        return result;
    }

    static bool IsContainer(uint8_t kind)
    {
        return kind == 0xA || kind == 0xB || kind == 0xC || kind == 0xD;
    }

    const uint8_t* mBytes;
    const size_t mLength;
    const int mMaxLevels;
    uint64_t mMaxNodes;
    uint64_t mOffsetSize = 0, mRefSize = 0, mTableOffset = 0;
    std::vector<Measure> mMeasured;
    std::vector<uint8_t> mHoldsZero; // 0 not looked at, 1 no zero, 2 a zero
    bool mKeyWithZero = false;
};

} // namespace

bool CFPropertyListShapeIsReadable(const char* bytes, size_t length, bool binary, int maxLevels,
                                   size_t maxNodes, std::string& problem)
{
    if (binary) {
        return BinaryShape(reinterpret_cast<const uint8_t*>(bytes), length, maxLevels, maxNodes)
            .Check(problem);
    }
    // Each container is a level; values inside the innermost one would be the next.
    if (XMLNesting(std::string_view(bytes, length)).Deepest() > maxLevels) {
        problem = "the property list is nested too deeply";
        return false;
    }
    return true;
}
