Version()
