#pragma once
// Test tables kept as data files in tests/unit/data: one row a line, its fields between " | ";
// blank lines and lines starting with '#' are skipped; "\n" in a field is a line break.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using Row = std::vector<std::string>;

inline std::vector<Row> Rows(const std::string& name)
{
    std::ifstream in(QUILLON_UNIT_DATA "/" + name);
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        Row& row = rows.emplace_back();
        for (std::size_t from = 0, bar = 0; bar != std::string::npos; from = bar + 3) {
            bar = line.find(" | ", from);
            std::string field = line.substr(from, bar - from);
            for (std::size_t at; (at = field.find("\\n")) != std::string::npos;)
                field.replace(at, 2, "\n");
            row.push_back(field);
        }
    }
    EXPECT_FALSE(rows.empty()) << "no rows in " << name;
    return rows;
}

// "AA 0D": the bytes, in hex between blanks.
inline std::vector<std::uint8_t> Hex(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::uint8_t> bytes;
    for (unsigned byte = 0; in >> std::hex >> byte;) bytes.push_back(std::uint8_t(byte));
    return bytes;
}
