#pragma once
// A temporary program folder for settings tests, with helpers to put a
// settings file in place and to read it back byte for byte.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

class SettingsTest : public ::testing::Test {
protected:
  std::string Dir() const { return dir_.path().toStdString() + "/"; }
  std::string Ini() const { return Dir() + "TARNEX.INI"; }

  void Put(const std::string& text) const { Put(Ini(), text); }
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::string Contents() const { return Contents(Ini()); }
  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
  }

  QTemporaryDir dir_;
};
