#include <unordered_map>

#include "app/shortcut/KeyCombo.h"

namespace mavu::shortcut {
namespace {

const std::unordered_map<std::uint32_t, std::string>& names() {
    static const std::unordered_map<std::uint32_t, std::string> table{
        {0, "A"},      {11, "B"},   {8, "C"},    {2, "D"},     {14, "E"},    {3, "F"},
        {5, "G"},      {4, "H"},    {34, "I"},   {38, "J"},    {40, "K"},    {37, "L"},
        {46, "M"},     {45, "N"},   {31, "O"},   {35, "P"},    {12, "Q"},    {15, "R"},
        {1, "S"},      {17, "T"},   {32, "U"},   {9, "V"},     {13, "W"},    {7, "X"},
        {16, "Y"},     {6, "Z"},    {29, "0"},   {18, "1"},    {19, "2"},    {20, "3"},
        {21, "4"},     {23, "5"},   {22, "6"},   {26, "7"},    {28, "8"},    {25, "9"},
        {122, "F1"},   {120, "F2"}, {99, "F3"},  {118, "F4"},  {96, "F5"},   {97, "F6"},
        {98, "F7"},    {100, "F8"}, {101, "F9"}, {109, "F10"}, {103, "F11"}, {111, "F12"},
        {49, "Space"}, {36, "⏎"},   {48, "⇥"},   {51, "⌫"},    {53, "⎋"},    {123, "←"},
        {124, "→"},    {126, "↑"},  {125, "↓"},
    };
    return table;
}

}  // namespace

const std::string& keyName(std::uint32_t keyCode) {
    static const std::string unknown = "?";
    const auto found = names().find(keyCode);
    return found == names().end() ? unknown : found->second;
}

}  // namespace mavu::shortcut
