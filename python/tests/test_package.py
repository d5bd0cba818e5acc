"""The package as an editor sees it: every public name documented, and the
type stubs naming the same functions with the same parameters."""
import ast
import inspect
from pathlib import Path

import fourfifths
from fourfifths import _core


def stub_functions(name):
    tree = ast.parse((Path(fourfifths.__file__).parent / name).read_text())
    out = {}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            a = node.args
            out[node.name] = [x.arg for x in a.posonlyargs + a.args + a.kwonlyargs]
    return out


def test_everything_has_a_docstring():
    for name in fourfifths.__all__:
        item = getattr(fourfifths, name)
        if callable(item) and not name.endswith("Source"):
            assert inspect.getdoc(item), name
    for cls in (fourfifths.Scenario, fourfifths.Outcome):
        for attr, value in vars(cls).items():
            if not attr.startswith("_"):
                assert value.__doc__, f"{cls.__name__}.{attr}"
    assert fourfifths.__doc__ and _core.__doc__


def test_the_stubs_match_the_package():
    stubs = stub_functions("__init__.pyi")
    for name in fourfifths.__all__:
        item = getattr(fourfifths, name)
        if inspect.isfunction(item):
            assert stubs.get(name) == list(inspect.signature(item).parameters), name
    core = stub_functions("_core.pyi")
    for name, value in vars(_core).items():
        if callable(value) and not isinstance(value, type) and not name.startswith("_"):
            assert name in core, name
            # pybind11 writes the parameters' names in the docstring's signature.
            first_line = value.__doc__.split("\n")[0]
            assert all(f"{a}:" in first_line for a in core[name]), (name, first_line)
