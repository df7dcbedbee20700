// run RECIPE: a recipe's steps once on each --port, each port through them on its own.

#include "Commands.h"

#include "CliRequest.h"
#include "PortStep.h"
#include "Recipe.h"

TCliCommand RunCommand() {
    TCliCommand c;
    c.FName = QStringLiteral("run");
    c.FHelp = {{QStringLiteral("run RECIPE"),
                QStringLiteral("run a recipe's steps in turn on each printer: every line is\n"
                               "checked first; a failed step ends that printer's recipe and\n"
                               "skips the rest (see README for the format)")}};
    c.FMinArgs = c.FMaxArgs = 1;
    c.FRun = [](const TCliRequest& r) {
        const TRecipe recipe = LoadRecipe(r.FArgs.at(0), r);
        return RunSteps(r, recipe.FSteps, true);
    };
    return c;
}
