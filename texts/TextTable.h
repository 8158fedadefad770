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
    // The same answer found by walking the file from its start, entry by
    // entry, as the file format defines it. Lookup answers from an index built
    // at load time; this walk is the reference the index is checked against,
    // and the fallback when there was no memory for an index.
    std::string LookupByScan(uint32_t number) const;
    bool loaded() const { return loaded_; }
    const std::string& path() const { return path_; }
private:
    struct IndexEntry {
        uint32_t number;
        uint32_t offset;   // first byte of the text in content_
        uint32_t length;   // bytes up to the "<END>"
    };
    void buildIndex();

    std::vector<char> content_;   // file bytes plus a trailing zero byte
    uint32_t length_ = 0;
    bool loaded_ = false;
    std::string path_;
    // Every entry a scan can reach, sorted by number, first occurrence only.
    std::vector<IndexEntry> index_;
    bool indexed_ = false;
};

// The three tables of one language: every operator text, the texts of the
// device's status codes, and the parameter descriptions by parameter number.
struct LanguageTexts {
    TextTable messages;
    TextTable errors;
    TextTable parameters;
};
