from q390 import _q390
from q390._q390 import *  # noqa: F401,F403 (the compiled module's names are the package's)

__doc__ = _q390.__doc__
__version__ = _q390.__version__
__all__ = [name for name in dir(_q390) if not name.startswith("_")]

# The classes and errors are named as the package's, in help(), reprs and pickles alike.
for _name in __all__:
    if isinstance(getattr(_q390, _name), type):
        getattr(_q390, _name).__module__ = __name__
del _name
