#pragma once
// A list view double that records what the document shows.

#include "downloads/ListLines.h"

#include <array>
#include <string>
#include <vector>

namespace vireo::test {

class FakeListLines : public ListLines {
public:
    struct Line {
        std::array<std::string, kColumnCount> text;
        int image = -1;
        LineProgress progress;
    };
    std::vector<Line> lines;
    int selected = -1;

    void AppendLine(const std::string& text, int image) override {
        Line line;
        line.text[0] = text;
        line.image = image;
        lines.push_back(line);
    }
    void SetText(int line, int column, const std::string& text) override {
        lines.at(size_t(line)).text.at(size_t(column)) = text;
    }
    // Formats the numbers as every view does.
    void SetProgress(int line, const LineProgress& progress) override {
        Line& shown = lines.at(size_t(line));
        shown.progress = progress;
        shown.text[ColSize] = SizeText(progress);
        shown.text[ColStatus] = StatusText(progress);
    }
    void SetImage(int line, int image) override { lines.at(size_t(line)).image = image; }
    void DeleteLine(int line) override { lines.erase(lines.begin() + line); }
    int SelectedLine() const override { return selected; }
    void SelectLine(int line) override { selected = line; }
};

} // namespace vireo::test
