#include "SyllableForms.h"

#include <cstdint>

#include "compiler/CCharacterData.h"
#include "compiler/CCodePage936.h"
#include "platform/AsciiText.h"

namespace chatsieve::tools {

const char kFormCharacterName[] = "character";
const char kFormVariantName[] = "variant character";
const char kFormHomophoneName[] = "homophone character";
const char kFormPinyinName[] = "pinyin";
const char kFormFullWidthName[] = "full-width pinyin";
const char kFormSplitName[] = "split form";

bool HoldsCharacter(const std::string& text, const std::string& character) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t width = GbkStep(static_cast<unsigned char>(text[i]));
        if (width == character.size() && text.compare(i, width, character) == 0) return true;
        i += width;
    }
    return false;
}

bool IsFullWidthLetters(const std::string& bytes) {
    if (bytes.empty() || bytes.size() % 2) return false;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto lead = static_cast<unsigned char>(bytes[i]), trail = static_cast<unsigned char>(bytes[i + 1]);
        if (lead != 0xA3 || !((trail >= 0xC1 && trail <= 0xDA) || (trail >= 0xE1 && trail <= 0xFA))) return false;
    }
    return true;
}

bool IsVariantIn(const std::string& text, const std::string& bytes) {
    if (bytes.size() != 2) return false;
    const CCodePage936& codePage = CCodePage936::Instance();
    const long character = codePage.Decode(static_cast<unsigned char>(bytes[0]), static_cast<unsigned char>(bytes[1]));
    if (character < 0) return false;
    for (std::uint32_t counterpart : CCharacterData::Instance().Variants(static_cast<std::uint32_t>(character))) {
        const unsigned code = codePage.TwoByteCode(counterpart);
        if (code && HoldsCharacter(text, std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}))
            return true;
    }
    return false;
}

bool EqualsIgnoringCase(const char* text, const std::string& word) {
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (ToAsciiLower(static_cast<unsigned char>(text[i])) != ToAsciiLower(static_cast<unsigned char>(word[i])))
            return false;
    }
    return true;
}

}  // namespace chatsieve::tools
