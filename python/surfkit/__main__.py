"""python3 -m surfkit OPERATION INPUT OUTPUT [options]"""

import sys

from .cli import main

sys.exit(main())
