#pragma once

#include <windows.h>

#include <string>

// A fresh folder in the temporary directory for one test, removed with everything in it
// when the test ends.
class CTestFolder {
public:
    CTestFolder();
    ~CTestFolder();
    CTestFolder(const CTestFolder&) = delete;
    CTestFolder& operator=(const CTestFolder&) = delete;

    // The folder with its trailing backslash.
    const std::wstring& Path() const { return m_path; }
    std::wstring Path(const std::wstring& relative) const { return m_path + relative; }

private:
    std::wstring m_path;
};

// Sets the current directory for one test and puts the old one back.
class CCurrentDirectory {
public:
    explicit CCurrentDirectory(const std::wstring& path);
    ~CCurrentDirectory();
    CCurrentDirectory(const CCurrentDirectory&) = delete;
    CCurrentDirectory& operator=(const CCurrentDirectory&) = delete;

private:
    std::wstring m_old;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
void MakeReadOnly(const std::wstring& path);
// Makes `link` a directory junction to `target`; false where the file system cannot (Wine 8
// cannot).
bool MakeJunction(const std::wstring& link, const std::wstring& target);
