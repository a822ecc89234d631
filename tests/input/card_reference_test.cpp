// The README's card reference and the card table agree: every card word this
// version acts on has its line, and no line names a card it does not act on,
// so a card added to the table without a line in the reference fails here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "input/availability.hpp"
#include "input/cards.hpp"

namespace torva {
namespace {

std::string readme_section(const std::string& heading) {
    std::ifstream in(std::string(TORVA_TEST_DATA) + "/../README.md");
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    const std::size_t start = all.find("\n" + heading + "\n");
    if (start == std::string::npos)
        return "";
    const std::size_t end = all.find("\n#", start + heading.size() + 1);
    return all.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The card words of the first column of the table rows: "| `DIKE_MAP` / `EMBANKMENT` | ...".
std::set<std::string> documented_cards(const std::string& section) {
    std::set<std::string> words;
    std::istringstream lines(section);
    const std::regex word("`([A-Z0-9_]+)`");
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("| `"))
            continue;
        const std::string first_column = line.substr(1, line.find('|', 1) - 1);
        for (std::sregex_iterator m(first_column.begin(), first_column.end(), word), none;
             m != none; ++m)
            words.insert((*m)[1]);
    }
    return words;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

TEST(CardReference, ReadmeListsEveryCardThisVersionActsOnAndNoOther) {
    const std::string section = readme_section("### Card reference");
    ASSERT_FALSE(section.empty()) << "README.md has no \"### Card reference\" section";
    const std::set<std::string> documented = documented_cards(section);

    std::set<std::string> acted_on;
    for (const CardWord& w : known_card_words())
        if (card_use(w.card) == CardUse::simulated && w.args != Args::no_effect)
            acted_on.insert(upper(std::string(w.word)));

    std::string missing, extra;
    for (const std::string& card : acted_on)
        if (!documented.contains(card))
            missing += " " + card;
    for (const std::string& card : documented)
        if (!acted_on.contains(card))
            extra += " " + card;
    EXPECT_EQ(missing, "") << "cards without a line in the README's card reference";
    EXPECT_EQ(extra, "") << "lines of the card reference for cards this version does not act on";
    EXPECT_GT(documented.size(), 100u);
}

}  // namespace
}  // namespace torva
