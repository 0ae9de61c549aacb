#pragma once
// Expressions over waveforms: "OUT=V(2)/V(1)*2+SIN(TIME)". The text is scanned
// once into tokens, parsed once by the shift-reduce tables of the grammar into
// a small program, and the program runs over blocks of points. Any complex
// operand makes the whole evaluation complex.
#include <cstdint>
#include <istream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/data/data_store.h"

namespace zephyrim {

class Notify;

// Token codes, as the parser tables know them.
enum TokenCode : int {
  TOKEN_PLUS = 0,
  TOKEN_MINUS = 1,
  TOKEN_TIMES = 2,
  TOKEN_DIVIDE = 3,
  TOKEN_POWER = 4,
  TOKEN_COLON = 5,
  TOKEN_OPEN = 6,
  TOKEN_CLOSE = 7,
  TOKEN_CONSTANT = 8,
  TOKEN_VARIABLE = 9,
  TOKEN_FUNCTION = 10,
  TOKEN_END = 11,
  TOKEN_ERROR = 12,
};

// The functions in the order the scanner tries them: a longer name comes before
// its own prefix (COSH before COS, SQRT before SQR).
enum ExprFunction : int {
  FUNC_ABS,
  FUNC_ACOS,
  FUNC_ASIN,
  FUNC_ATAN,
  FUNC_COSH,
  FUNC_COS,
  FUNC_EXP,
  FUNC_LOG10,
  FUNC_LOG,
  FUNC_POW10,
  FUNC_ROUND,
  FUNC_SINH,
  FUNC_SIN,
  FUNC_SQRT,
  FUNC_SQR,
  FUNC_TANH,
  FUNC_TAN,
  FUNC_TRUNC,
  FUNC_DIFF,
  FUNC_S,
  FUNC_AVG,
  FUNC_RMS,
  FUNC_DB,
  FUNC_M,
  FUNC_P,
  FUNC_R,
  FUNC_IMG,
  FUNC_JCMPLX,
  FUNC_URAMP,
  FUNC_COUNT
};
extern const char* const kExprFunctionNames[FUNC_COUNT];

inline constexpr size_t kExprTextMax = 255;
inline constexpr size_t kResultNameMax = 55;
inline constexpr size_t kVariableNameMax = 32;
inline constexpr int kExprVariablesMax = 32;
inline constexpr int kIntegralSlots = 32;
inline constexpr int kParseStackMax = 50;
inline constexpr int kUserParametersMax = 512;
inline constexpr size_t kUserParameterNameMax = 32;

// ERROR# of a failed read of a variable or the x values.
enum ExprReadError : int {
  EXPR_NO_MEMORY = 5,
  EXPR_NO_MEMORY_IMAGINARY = 6,
  EXPR_VARIABLE_EMPTY = 7,
  EXPR_VARIABLE_UNKNOWN = 8,
  EXPR_NO_MEMORY_X = 9,
  EXPR_X_EMPTY = 10,
};

struct Token {
  int code = TOKEN_END;
  double value = 0;   // a constant
  int variable = -1;  // index into the variable table
  int function = -1;
  int slot = -1;  // the integral slot of S, AVG and RMS
};

struct ExprVariable {
  const DataVector* vector = nullptr;
  // The values (pairs for a complex vector), read from the store at first use.
  std::span<const double> values;
  bool read = false;
};

struct UserParameter {
  std::string name;  // at most 32 characters
  double value = 0;
};
using UserParameters = std::vector<UserParameter>;

// The viewer's selection that an expression looks its names up in and is
// registered in.
struct ExprSelection {
  int cls = DATA_CLASS_BINARY;
  int kind = ANALYSIS_TRAN;
  int run = 0;  // 0: the first match of each name
  const UserParameters* parameters = nullptr;
};

// The result name and the expression of a text.
struct ExprText {
  std::string result_name;
  std::string expression;
};
// Splits "NAME=expr" or names the result {expr}; none after "Expression too long".
std::optional<ExprText> expr_split(std::string_view text, Notify& notify);

// The tokens of one expression and what scanning learnt about its variables.
struct TokenList {
  std::vector<Token> tokens;
  std::vector<ExprVariable> variables;
  std::string text;             // the expression as scanned, for the messages
  int cls = DATA_CLASS_BINARY;  // class 1 when a name was only found there
  int kind = ANALYSIS_TRAN;
  int run = 0;
  int complex = 0;
  const DataVector* x = nullptr;  // from the first variable that has one
  int label = 0;                  // from the first variable that has one
  int64_t points = 0;
  int integral_slots = 0;  // taken (the name "slots" is a macro of Qt's)
};

// Scans an expression (upper-cased, at most 255 characters). Returns the number
// of tokens including the end token, or 0 after a message (none for a name
// missing from a run above 1). A character the scanner does not know ends the
// list with TOKEN_ERROR, which the parser then reports.
int expr_tokenize(DataStore& store, const ExprSelection& selection, std::string_view expression,
                  TokenList& list);

// Reads a variable's values at its first use; returns 0 or its ERROR#.
int expr_read_variable(DataStore& store, ExprVariable& variable);

// The name of an analysis kind in messages: OTHER, DC SWEEP, ... DC OP.
const char* expr_kind_name(int kind);

// What an evaluation computed, before it is registered.
struct ExprResult {
  std::string name;               // the result name
  const DataVector* x = nullptr;  // the x vector of the result
  // The x vector's values, valid until its class is cleared; the last one
  // holds for result points beyond their end.
  std::span<const double> x_values;
  int complex = 0;
  std::vector<double> re;  // the values (real parts)
  std::vector<double> im;  // imaginary parts of a complex result
  int cls = DATA_CLASS_BINARY;
  int label = 0;
};

// Evaluates text over the store with the selection's class, kind and run
// without registering anything. Returns 1 when every point was computed, 0
// after a message (result then holds the points computed before the error,
// possibly none).
int expr_calculate(DataStore& store, std::string_view text, const ExprSelection& selection,
                   ExprResult& result);

// expr_evaluate: calculates and registers the result in the selection's class
// (or class 1, see expr_tokenize) and kind with the expression attached.
// Returns the vector, or null after a message; the points computed before an
// error are registered all the same.
DataVector* expr_evaluate(DataStore& store, std::string_view text, const ExprSelection& selection);

// Reads a user parameter table from a listing: a line holding "NAME " and
// " VALUE" starts it, the next line is skipped, then "name value" lines until
// one that is not. Returns the number of parameters added.
int expr_read_user_parameters(std::istream& listing, UserParameters& parameters, Notify& notify);

}  // namespace zephyrim
