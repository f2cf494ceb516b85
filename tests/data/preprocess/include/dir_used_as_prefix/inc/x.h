nested
