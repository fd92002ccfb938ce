#include "platform/codesign/Requirement.h"

#include <cctype>
#include <optional>

namespace mavu::codesign {

namespace {

struct Token {
    enum class Type { word, string, symbol, end };
    Type type;
    std::string text;
};

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

// Splits the text into words, quoted strings and the symbols [ ] =. Inside a string a
// backslash takes the next character literally.
Result<std::vector<Token>> tokenize(std::string_view text) {
    using R = Result<std::vector<Token>>;
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '"') {
            std::string value;
            ++i;
            while (i < text.size() && text[i] != '"') {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    ++i;
                }
                value.push_back(text[i++]);
            }
            if (i == text.size()) {
                return R::failure("The requirement has an unterminated string.");
            }
            ++i;
            tokens.push_back({Token::Type::string, std::move(value)});
        } else if (c == '[' || c == ']' || c == '=') {
            tokens.push_back({Token::Type::symbol, std::string(1, c)});
            ++i;
        } else if (isWordChar(c)) {
            std::size_t start = i;
            while (i < text.size() && isWordChar(text[i])) {
                ++i;
            }
            tokens.push_back({Token::Type::word, std::string(text.substr(start, i - start))});
        } else {
            return R::failure(std::string("The requirement has an unexpected character '") + c +
                              "'.");
        }
    }
    tokens.push_back({Token::Type::end, {}});
    return tokens;
}

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    Result<Requirement> parse() {
        Requirement requirement;
        do {
            std::optional<Requirement::Clause> clause = parseClause();
            if (!clause) {
                return Result<Requirement>::failure(error_);
            }
            requirement.clauses.push_back(std::move(*clause));
        } while (accept(Token::Type::word, "and"));
        if (peek().type != Token::Type::end) {
            return Result<Requirement>::failure("The requirement has unexpected text after '" +
                                                previous_ + "'.");
        }
        return requirement;
    }

  private:
    std::optional<Requirement::Clause> parseClause() {
        using Kind = Requirement::Kind;
        if (accept(Token::Type::word, "anchor")) {
            if (expect(Token::Type::word, "apple") && expect(Token::Type::word, "generic")) {
                return Requirement::Clause{Kind::anchorGeneric, {}};
            }
            return std::nullopt;
        }
        if (accept(Token::Type::word, "identifier")) {
            return stringClause(Kind::identifier);
        }
        if (accept(Token::Type::word, "certificate")) {
            if (expect(Token::Type::word, "leaf") && expect(Token::Type::symbol, "[") &&
                expect(Token::Type::word, "subject.OU") && expect(Token::Type::symbol, "]") &&
                expect(Token::Type::symbol, "=")) {
                return stringClause(Kind::leafSubjectOU);
            }
            return std::nullopt;
        }
        fail(peek().type == Token::Type::end
                 ? "The requirement is missing a clause."
                 : "The requirement has an unknown clause '" + peek().text + "'.");
        return std::nullopt;
    }

    std::optional<Requirement::Clause> stringClause(Requirement::Kind kind) {
        if (peek().type != Token::Type::string) {
            fail("The requirement expects a quoted string after '" + previous_ + "'.");
            return std::nullopt;
        }
        std::string value = next().text;
        if (value.empty()) {
            fail("The requirement has an empty string after '" + previous_ + "'.");
            return std::nullopt;
        }
        return Requirement::Clause{kind, std::move(value)};
    }

    const Token& peek() const { return tokens_[position_]; }

    const Token& next() {
        const Token& token = tokens_[position_];
        previous_ = token.text;
        if (token.type != Token::Type::end) {
            ++position_;
        }
        return token;
    }

    bool accept(Token::Type type, std::string_view text) {
        if (peek().type == type && peek().text == text) {
            next();
            return true;
        }
        return false;
    }

    bool expect(Token::Type type, std::string_view text) {
        if (accept(type, text)) {
            return true;
        }
        fail("The requirement expects '" + std::string(text) + "' after '" + previous_ + "'.");
        return false;
    }

    void fail(std::string why) { error_ = std::move(why); }

    std::vector<Token> tokens_;
    std::size_t position_ = 0;
    std::string previous_;
    std::string error_;
};

}  // namespace

Result<Requirement> createRequirement(std::string_view text) {
    Result<std::vector<Token>> tokens = tokenize(text);
    if (!tokens) {
        return tokens.forward<Requirement>();
    }
    return Parser(std::move(tokens).value()).parse();
}

bool Requirement::isMetBy(const SigningIdentity& identity) const {
    for (const Clause& clause : clauses) {
        switch (clause.kind) {
            case Kind::anchorGeneric:
                // Every signature is checked against the installed anchors alone, so a
                // signature that got here already chains to one.
                break;
            case Kind::identifier:
                if (identity.identifier != clause.value) {
                    return false;
                }
                break;
            case Kind::leafSubjectOU:
                if (identity.team != clause.value) {
                    return false;
                }
                break;
        }
    }
    return true;
}

}  // namespace mavu::codesign
