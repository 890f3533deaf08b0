// The three tables that choose a handler by the kind of the front token: the
// statement loop's, the matrix evaluator's primaries and the affine
// evaluator's. Their size is checked where they are defined; an entry
// written as null would still crash the first statement or expression that
// meets its token.
#include <gtest/gtest.h>

#include "evaluator.h"
#include "lmi_evaluator.h"
#include "statements.h"
#include "token.h"

namespace {

TEST(DispatchTables, EveryTokenKindHasAHandlerInEachTable) {
  for (int kind = 0; kind < kTokenKindCount; ++kind) {
    SCOPED_TRACE(TokenNames[kind]);
    EXPECT_NE(StatementDispatchTable[kind], nullptr);
    EXPECT_NE(MatrixPrimaryTable[kind], nullptr);
    EXPECT_NE(LmiTermPrimaryTable[kind], nullptr);
  }
}

}  // namespace
