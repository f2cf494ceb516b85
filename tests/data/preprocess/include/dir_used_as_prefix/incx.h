joined
