home
