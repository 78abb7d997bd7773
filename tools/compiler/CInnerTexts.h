// CInnerTexts: finds, for each of a set of texts, one other text that
// occurs inside it starting on a character: an automaton of all the texts
// (code page 936 bytes), run once over each, so the cost follows the texts'
// length rather than their number squared. Add every text, Build once, then
// ask FirstInside.
#ifndef CHATSIEVE_TOOLS_COMPILER_CINNERTEXTS_H
#define CHATSIEVE_TOOLS_COMPILER_CINNERTEXTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/AsciiText.h"

namespace chatsieve::tools {

class CInnerTexts {
public:
    // Adds a text; `id` is what FirstInside reports for it.
    void Add(const std::string& text, std::size_t id);

    // Links the texts once all are added, before the first FirstInside.
    void Build();

    // The first text met in `text` (ending earliest) that starts on one of
    // its characters and that `accept` takes; `none` when there is none.
    template <class Accept>
    std::size_t FirstInside(const std::string& text, Accept accept, std::size_t none) const {
        std::vector<bool> starts(text.size() + 1, false);
        for (std::size_t at = 0; at < text.size(); at += GbkStep(static_cast<unsigned char>(text[at])))
            starts[at] = true;
        std::size_t node = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            node = Step(node, text[i]);
            for (std::size_t n = m_nodes[node].report; n != 0; n = m_nodes[m_nodes[n].fallback].report) {
                for (const Ending& end : m_nodes[n].ends)
                    if (starts[i + 1 - end.length] && accept(end.id)) return end.id;
            }
        }
        return none;
    }

private:
    struct Ending {
        std::size_t id;
        std::size_t length;
    };
    struct Node {
        std::size_t fallback = 0;
        std::size_t report = 0;  // this node or the nearest fallback where texts end; 0: none
        std::vector<Ending> ends;
    };

    static std::uint64_t Key(std::size_t node, char c) {
        return static_cast<std::uint64_t>(node) << 8 | static_cast<unsigned char>(c);
    }
    std::size_t Step(std::size_t node, char c) const;

    std::vector<Node> m_nodes = std::vector<Node>(1);
    std::unordered_map<std::uint64_t, std::size_t> m_next;
};

}  // namespace chatsieve::tools

#endif
