#pragma once
// One language file in memory; texts looked up by number.
#include <cstdint>
#include <string>
#include <vector>

class TextTable {
public:
    // 1 on success, 0 on failure (the table is then not loaded).
    int Load(const std::string& fileName);
    // The text, or the empty string when absent. Returns a copy.
    std::string Lookup(uint32_t number) const;
    bool loaded() const { return loaded_; }
    const std::string& path() const { return path_; }
private:
    std::vector<char> content_;   // file bytes plus a trailing zero byte
    uint32_t length_ = 0;
    bool loaded_ = false;
    std::string path_;
    // (implementation may add an index built at load time)
};

extern TextTable MessageTable;
extern TextTable ErrorTable;
extern TextTable ParameterTable;
