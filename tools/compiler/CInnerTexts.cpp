#include "compiler/CInnerTexts.h"

#include <algorithm>
#include <utility>

namespace chatsieve::tools {

void CInnerTexts::Add(const std::string& text, std::size_t id) {
    std::size_t node = 0;
    for (const char c : text) {
        const auto key = Key(node, c);
        const auto found = m_next.find(key);
        if (found != m_next.end()) {
            node = found->second;
            continue;
        }
        m_next.emplace(key, m_nodes.size());
        node = m_nodes.size();
        m_nodes.emplace_back();
    }
    m_nodes[node].ends.push_back(Ending{id, text.size()});
}

void CInnerTexts::Build() {
    // Breadth first, so a node's fallback is settled before its children's.
    std::vector<std::size_t> queue;
    std::vector<std::vector<std::pair<unsigned char, std::size_t>>> children(m_nodes.size());
    for (const auto& [key, child] : m_next) children[key >> 8].emplace_back(static_cast<unsigned char>(key), child);
    for (auto& list : children) std::sort(list.begin(), list.end());
    for (const auto& [c, child] : children[0]) queue.push_back(child);
    for (std::size_t q = 0; q < queue.size(); ++q) {
        const std::size_t node = queue[q];
        const Node& here = m_nodes[node];
        m_nodes[node].report = here.ends.empty() ? m_nodes[here.fallback].report : node;
        for (const auto& [c, child] : children[node]) {
            m_nodes[child].fallback = node == 0 ? 0 : Step(m_nodes[node].fallback, static_cast<char>(c));
            queue.push_back(child);
        }
    }
}

std::size_t CInnerTexts::Step(std::size_t node, char c) const {
    while (true) {
        const auto found = m_next.find(Key(node, c));
        if (found != m_next.end()) return found->second;
        if (node == 0) return 0;
        node = m_nodes[node].fallback;
    }
}

}  // namespace chatsieve::tools
