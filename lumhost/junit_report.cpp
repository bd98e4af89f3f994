#include "junit_report.h"

#include <cstdio>
#include <pugixml.hpp>

#include "validation_report.h"

namespace lumhost {
namespace {

// Seconds as JUnit readers show them.
std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// Every finding of a check, a line each, and how to see it again.
std::string details(const ModuleVerdict& verdict, const CheckResult& check, const std::string& reproduce) {
    std::string text;
    if (verdict.crashed() && verdict.crashedCheck == check.id) text += verdict.crash + "\n";
    for (const Finding& finding : check.findings) text += (finding.warning ? "WARNING " : "") + finding.text() + "\n";
    return text + "reproduce: " + reproduce + "\n";
}

void addCase(pugi::xml_node suite, const std::string& library, const ModuleVerdict& verdict, const CheckResult& check,
             const ValidateSettings& settings) {
    pugi::xml_node testCase = suite.append_child("testcase");
    testCase.append_attribute("classname") = (library + "." + verdict.id).c_str();
    testCase.append_attribute("name") = checkName(check.id);
    testCase.append_attribute("time") = seconds(check.seconds).c_str();
    const std::string reproduce = reproduction(settings, verdict.id, check.id);
    const auto outcome = [&](const char* element, const std::string& message, const char* type) {
        pugi::xml_node node = testCase.append_child(element);
        node.append_attribute("message") = message.c_str();
        if (type != nullptr) node.append_attribute("type") = type;
        return node;
    };
    switch (verdict.status(check)) {
        case CheckStatus::Crashed:
            outcome("error", verdict.crash, "crashed").text() = details(verdict, check, reproduce).c_str();
            break;
        case CheckStatus::Fail:
            outcome("failure", check.findings.front().text(), checkName(check.id)).text() =
                details(verdict, check, reproduce).c_str();
            break;
        case CheckStatus::NotChecked: outcome("skipped", "not checked here: " + check.notCheckedWhy, nullptr); break;
        case CheckStatus::NotRun: outcome("skipped", "not run", nullptr); break;
        case CheckStatus::Warning:
            testCase.append_child("system-out").text() = details(verdict, check, reproduce).c_str();
            break;
        case CheckStatus::Pass: break;
    }
}

}  // namespace

void writeJUnitReport(std::ostream& out, const std::string& library, const ValidateSettings& settings,
                      const std::vector<ModuleVerdict>& verdicts) {
    pugi::xml_document document;
    pugi::xml_node suites = document.append_child("testsuites");
    suites.append_attribute("name") = ("lumhost validate " + library).c_str();
    std::size_t tests = 0, failures = 0, errors = 0, skipped = 0;
    double totalSeconds = 0.0;
    for (const ModuleVerdict& verdict : verdicts) {
        pugi::xml_node suite = suites.append_child("testsuite");
        suite.append_attribute("name") = (library + "." + verdict.id).c_str();
        std::size_t suiteFailures = 0, suiteErrors = 0, suiteSkipped = 0;
        double suiteSeconds = 0.0;
        // A module that died before its first check has no check to blame.
        if (verdict.crashed() && !verdict.crashedCheck) {
            pugi::xml_node testCase = suite.append_child("testcase");
            testCase.append_attribute("classname") = (library + "." + verdict.id).c_str();
            testCase.append_attribute("name") = "before the first check";
            pugi::xml_node error = testCase.append_child("error");
            error.append_attribute("message") = verdict.crash.c_str();
            error.append_attribute("type") = "crashed";
            error.text() = ("reproduce: " + reproduction(settings, verdict.id, std::nullopt) + "\n").c_str();
            ++suiteErrors;
            ++tests;
        }
        for (const CheckResult& check : verdict.checks) {
            addCase(suite, library, verdict, check, settings);
            const CheckStatus status = verdict.status(check);
            suiteFailures += status == CheckStatus::Fail ? 1 : 0;
            suiteErrors += status == CheckStatus::Crashed ? 1 : 0;
            suiteSkipped += status == CheckStatus::NotChecked || status == CheckStatus::NotRun ? 1 : 0;
            suiteSeconds += check.seconds;
        }
        suite.append_attribute("tests") = verdict.checks.size() + (verdict.crashed() && !verdict.crashedCheck ? 1 : 0);
        suite.append_attribute("failures") = suiteFailures;
        suite.append_attribute("errors") = suiteErrors;
        suite.append_attribute("skipped") = suiteSkipped;
        suite.append_attribute("time") = seconds(suiteSeconds).c_str();
        tests += verdict.checks.size();
        failures += suiteFailures;
        errors += suiteErrors;
        skipped += suiteSkipped;
        totalSeconds += suiteSeconds;
    }
    suites.append_attribute("tests") = tests;
    suites.append_attribute("failures") = failures;
    suites.append_attribute("errors") = errors;
    suites.append_attribute("skipped") = skipped;
    suites.append_attribute("time") = seconds(totalSeconds).c_str();
    document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
}

}  // namespace lumhost
