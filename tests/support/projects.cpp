#include "support/projects.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace torva::test {

std::string small_project_text(const std::string& extra_cards, const std::string& time_step) {
    return "TORVAPROJECT\nWATERSHED_MASK mask.msk\nELEVATION elevation.ele\nROWS 3\nCOLS 3\n"
           "GRIDSIZE 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nTIMESTEP " +
           time_step +
           "\nTOT_TIME 10\nHYD_FREQ 5\nMAP_FREQ 60\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\n"
           "PRECIP_UNIF\nRAIN_INTENSITY 10\nRAIN_DURATION 5\n" +
           extra_cards;
}

void write_small_project(const TempDir& dir, const std::string& extra_cards,
                         const std::string& time_step) {
    dir.write("p.prj", small_project_text(extra_cards, time_step));
    dir.write("mask.msk", kSmallHeader + "1 1 1\n1 1 1\n1 1 1\n");
    dir.write("elevation.ele", kSmallHeader + "10.2 10.1 10.2\n10.1 10.0 10.1\n10.0 9.9 10.0\n");
}

namespace {

std::string first_word(const std::string& line) {
    return line.substr(0, line.find(' '));
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Line number (from 1) of the card in the project, 0 when it has none.
int line_of(const std::string& project, const std::string& card) {
    const std::vector<std::string> lines = lines_of(project);
    for (std::size_t k = 0; k < lines.size(); ++k)
        if (first_word(lines[k]) == card)
            return static_cast<int>(k) + 1;
    return 0;
}

}  // namespace

std::string edited_project(const std::string& edits) {
    std::vector<std::string> lines = lines_of(small_project_text());
    for (const std::string& edit : lines_of(edits)) {
        const bool remove = edit.starts_with('-');
        const std::string card = first_word(remove ? edit.substr(1) : edit);
        std::size_t k = 0;
        while (k < lines.size() && first_word(lines[k]) != card) ++k;
        if (k == lines.size())
            lines.push_back(edit);
        else if (remove)
            lines.erase(lines.begin() + static_cast<long>(k));
        else
            lines[k] = edit;
    }
    std::string project;
    for (const std::string& line : lines) project += line + "\n";
    return project;
}

ProjectCase card_refusal(const std::string& edit, const std::string& reason) {
    const std::string card = first_word(edit);
    const int line = line_of(edited_project(edit), card);
    return {edit, "Error: card " + card + " on line " + std::to_string(line) +
                      " of p.prj: " + reason + ".\n"};
}

void expect_project_cases(const std::vector<ProjectCase>& cases) {
    for (const ProjectCase& c : cases) {
        SCOPED_TRACE(c.edits);
        TempDir dir;
        write_small_project(dir);
        dir.write("p.prj", edited_project(c.edits));
        for (const auto& [name, text] : c.files) dir.write(name, text);
        const ProgramRun run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
        EXPECT_EQ(run.status, c.status) << run.out;
        if (c.status != 0)
            EXPECT_EQ(run.out.find("Running...."), std::string::npos)
                << "refused only after starting";
    }
}

}  // namespace torva::test
